# Sourced by the shell tests, after they set $tests_common to this folder: the
# user's texts from expected_texts.h, so that the shell checks and the C++ tests
# cannot drift apart.

expected_texts_h=$tests_common/expected_texts.h

# expected_text <name>: the bytes of molra::expected::<name>. The definition may
# span lines and join literals; \r, \n, \t, \", \\ and \xNN are decoded. Fails
# loudly when the name is not defined there.
expected_text() {
    LC_ALL=C awk -v name="$1" '
        function hex(digits,   i, value) {
            value = 0
            for (i = 1; i <= length(digits); i++)
                value = value * 16 + index("0123456789abcdef", tolower(substr(digits, i, 1))) - 1
            return value
        }
        !found && $0 ~ "^inline const std::string " name " =" { found = 1; sub(/^[^=]*=/, "") }
        found && !done {
            line = $0
            while (match(line, /"([^"\\]|\\.)*"/)) {
                literal = substr(line, RSTART + 1, RLENGTH - 2)
                line = substr(line, RSTART + RLENGTH)
                while (literal != "") {
                    c = substr(literal, 1, 1)
                    literal = substr(literal, 2)
                    if (c != "\\") { text = text c; continue }
                    c = substr(literal, 1, 1)
                    literal = substr(literal, 2)
                    if (c == "r") text = text "\r"
                    else if (c == "n") text = text "\n"
                    else if (c == "t") text = text "\t"
                    else if (c == "\"" || c == "\\") text = text c
                    else if (c == "x" && match(literal, /^[0-9A-Fa-f]+/)) {
                        value = hex(substr(literal, 1, RLENGTH))
                        literal = substr(literal, RLENGTH + 1)
                        if (value > 255) { bad = 1; break }
                        text = text sprintf("%c", value)
                    } else { bad = 1; break }
                }
            }
            if (line ~ /;[ \t]*$/) done = 1
        }
        END {
            if (!done || bad) exit 1
            printf "%s", text
        }' "$expected_texts_h" && return 0
    echo "expected_text: no text $1 in $expected_texts_h (or one this reader cannot decode)" >&2
    return 1
}
