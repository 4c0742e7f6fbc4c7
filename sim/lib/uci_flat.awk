# Flattens one UCI config file into lines "section<TAB>type<TAB>option<TAB>value".
# An anonymous section is written @type[N], N counting sections of its type
# from 0; list items come out as one line each. Used at sandbox start, before
# any uci command may exist.
function unquote(s) {
    sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s)
    if (s ~ /^'.*'$/ || s ~ /^".*"$/) s = substr(s, 2, length(s) - 2)
    return s
}
/^[ \t]*#/ || /^[ \t]*$/ { next }
{
    line = $0
    sub(/^[ \t]+/, "", line)
    word = line; sub(/[ \t].*$/, "", word)
    rest = substr(line, length(word) + 1); sub(/^[ \t]+/, "", rest)
    if (word == "config") {
        raw = rest; sub(/[ \t].*$/, "", raw)
        type = unquote(raw)
        name = unquote(substr(rest, length(raw) + 1))
        if (name == "") { name = "@" type "[" (count[type] + 0) "]" }
        count[type]++
        section = name
        print section "\t" type "\t\t"
        next
    }
    if (word == "option" || word == "list") {
        opt = rest; sub(/[ \t].*$/, "", opt)
        value = unquote(substr(rest, length(opt) + 1))
        print section "\t" type "\t" unquote(opt) "\t" value
    }
}
