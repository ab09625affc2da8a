# SPDX-License-Identifier: GPL-3.0-or-later
# Bash completion for carillon-cli: commands, options, slot numbers and file names.

# Splits the command line up to the cursor into `words`, undoing quotes and backslashes; the
# last word is the one being completed (empty after a blank). Bash's own word list splits
# "--slot 1=FILE" at the "=", which this reading avoids.
_carillon_cli_split() {
    local line=${COMP_LINE:0:COMP_POINT} word="" quote="" c i
    words=()
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        if [[ -n $quote ]]; then
            if [[ $c == "$quote" ]]; then quote=""; else word+=$c; fi
        elif [[ $c == '\' ]]; then
            i=$((i + 1))
            word+=${line:i:1}
        elif [[ $c == '"' || $c == "'" ]]; then
            quote=$c
        elif [[ $c == [[:space:]] ]]; then
            [[ -n $word ]] && words+=("$word")
            word=""
        else
            word+=$c
        fi
    done
    words+=("$word")
}

# Bash replaces only the part of the word after its last word-break character ("=" or ":"), so
# that part is what each answer must hold.
_carillon_cli_trim() {
    local cur=$1 head="" i
    for ((i = ${#cur} - 1; i >= 0; i--)); do
        if [[ ${cur:i:1} == [=:] && $COMP_WORDBREAKS == *"${cur:i:1}"* ]]; then
            head=${cur:0:i+1}
            break
        fi
    done
    for i in "${!COMPREPLY[@]}"; do
        COMPREPLY[i]=${COMPREPLY[i]#"$head"}
    done
}

_carillon_cli_files() {  # $1: -f for files and folders, -d for folders only
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen "$1" -- "$2")
}

_carillon_cli() {
    local -a words
    local cur prev cmd="" opts w i
    _carillon_cli_split
    cur=${words[-1]}
    prev=""
    ((${#words[@]} > 1)) && prev=${words[-2]}
    COMPREPLY=()

    # The command is the first word after the program that is not an option.
    for ((i = 1; i < ${#words[@]} - 1; i++)); do
        w=${words[i]}
        if [[ $w != -* ]]; then
            cmd=$w
            break
        fi
    done
    if [[ -z $cmd ]]; then
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W "--help --version" -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W "info patch relocate probe export check apply diff" -- "$cur")
        fi
        return
    fi

    case $cmd:$prev in
        patch:--slot | patch:--name)
            local last=18
            [[ $prev == --name ]] && last=10
            if [[ $cur != *=* ]]; then
                compopt -o nospace 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -W "$(eval "echo {1..$last}=")" -- "$cur")
            elif [[ $prev == --slot ]]; then
                local n=${cur%%=*}
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -f -- "${cur#*=}")
                for i in "${!COMPREPLY[@]}"; do
                    COMPREPLY[i]=$n=${COMPREPLY[i]}
                done
                _carillon_cli_trim "$cur"
            fi
            return
            ;;
        export:--slot)
            mapfile -t COMPREPLY < <(compgen -W "$(echo {1..18})" -- "$cur")
            return
            ;;
        diff:--title)
            return
            ;;
        *:--vkp | *:--out)
            _carillon_cli_files -f "$cur"
            return
            ;;
        *:--per-slot | *:--all)
            _carillon_cli_files -d "$cur"
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        case $cmd in
            info) opts="--json" ;;
            check) opts="--records --json" ;;
            patch) opts="--slot --name --keep-names --allow-cut --vkp --append --per-slot --out --force" ;;
            relocate) opts="--out --force" ;;
            export) opts="--slot --out --all --force" ;;
            apply) opts="--out --revert --allow-unchecked --force" ;;
            diff) opts="--vkp --title --force" ;;
            *) opts="" ;;
        esac
        mapfile -t COMPREPLY < <(compgen -W "$opts --help" -- "$cur")
        return
    fi
    _carillon_cli_files -f "$cur"
}

complete -F _carillon_cli carillon-cli
