# bash completion for kerfo: the options, and picture names (.jpg, .jpeg,
# .png, .bmp in any letter case) and folders wherever a file name may stand.

_kerfo() {
    local current="${COMP_WORDS[COMP_CWORD]}"
    local previous="${COMP_WORDS[COMP_CWORD - 1]}"
    local before=""
    if ((COMP_CWORD >= 2)); then
        before="${COMP_WORDS[COMP_CWORD - 2]}"
    fi
    COMPREPLY=()

    # A size, a quality or the numbers of a grid or a tile: nothing to offer.
    case "${previous,,}" in
        -w | -h | -oq | -g | -tile | -overlap) return 0 ;;
    esac
    if [[ "${before,,}" == -g || "${before,,}" == -tile ]]; then
        return 0
    fi

    if [[ "$current" == -* ]]; then
        COMPREPLY=($(compgen -W "-w -h -g -tile -whole -overlap -shown -oq -lossless -? -help -ver --help --version -dbg=" -- "$current"))
        if [[ ${#COMPREPLY[@]} -eq 1 && "${COMPREPLY[0]}" == -dbg= ]]; then
            compopt -o nospace 2>/dev/null
        fi
        return 0
    fi

    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$current"))
    local pattern
    for pattern in '*.[jJ][pP][gG]' '*.[jJ][pP][eE][gG]' '*.[pP][nN][gG]' '*.[bB][mM][pP]'; do
        COMPREPLY+=($(compgen -f -X "!$pattern" -- "$current"))
    done
    return 0
}
complete -F _kerfo kerfo
