# Sourced by every script that runs Wine for the tests or the bench: they run
# only where no packet can leave, in a network namespace that holds loopback
# alone (scripts/in-netns makes one).

# /proc/self/net/dev lists the devices of the caller's own namespace;
# /sys/class/net would show those of whoever mounted /sys.
only_loopback() {
    [ "$(sed -n 's/^ *\([^ :|]*\):.*/\1/p' /proc/self/net/dev | tr '\n' ' ')" = "lo " ]
}

# need_own_netns <who>: fails plainly outside such a namespace.
need_own_netns() {
    only_loopback && return 0
    echo "$1: not in a network namespace of its own: run through scripts/test," \
        "or as scripts/in-netns <command>" >&2
    exit 1
}
