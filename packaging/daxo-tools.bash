# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for the DAXO Viewer command-line tools: subcommands, options, and files,
# folders or devices where each argument takes one.

_daxo_files() { # $1: a glob of names, or empty for any file
    local IFS=$'\n'
    if [[ -n $1 ]]; then
        COMPREPLY+=($(compgen -f -X "!$1" -- "$cur") $(compgen -d -- "$cur"))
    else
        COMPREPLY+=($(compgen -f -- "$cur"))
    fi
    compopt -o filenames 2>/dev/null
}

_daxo_dirs() {
    local IFS=$'\n'
    COMPREPLY+=($(compgen -d -- "$cur"))
    compopt -o filenames 2>/dev/null
}

_daxo_tools() {
    local cur prev words cword
    _init_completion || return
    local command=${words[0]##*/} sub=${words[1]}
    if [[ $cur == -* ]]; then
        local options="--help --verbose"
        case $command in
        daxo-card) options+=" --json --yes --date --time --check --from-gps" ;;
        daxo-library) options+=" --library --events-only --since --bbox --from --to --events --min-speed" ;;
        daxo-config) options+=" --raw" ;;
        daxo-export) options+=" --from --to --at -o --layout --captions --force" ;;
        daxo-telemetry) options+=" --gpx --kml --csv --trip --trips --gap --nmea" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
    daxo-card)
        if ((cword == 1)); then
            COMPREPLY=($(compgen -W "list format clock" -- "$cur"))
        elif [[ $sub == format ]] && ((cword == 2)); then
            COMPREPLY=($(compgen -W "$(lsblk -rpno NAME,RM 2>/dev/null | awk '$2 == 1 { print $1 }')" -- "$cur"))
            _daxo_files '*.@(img|IMG|bin|raw)'
        elif [[ $sub == clock && $prev != --date && $prev != --time ]]; then
            _daxo_dirs
        fi
        ;;
    daxo-config)
        if ((cword == 1)); then
            COMPREPLY=($(compgen -W "show defaults set" -- "$cur"))
        elif ((cword == 2)); then
            _daxo_files '*.bin'
        fi
        ;;
    daxo-export)
        if ((cword == 1)); then
            COMPREPLY=($(compgen -W "clip report" -- "$cur"))
        elif [[ $prev == --layout ]]; then
            COMPREPLY=($(compgen -W "pip side front original" -- "$cur"))
        elif [[ $prev == -o ]]; then
            _daxo_files ''
        elif ((cword == 2)); then
            _daxo_files '*.@(mp4|MP4)'
        fi
        ;;
    daxo-telemetry)
        case $prev in
        --trips | --trip) [[ $prev == --trips ]] && _daxo_dirs ;;
        --nmea) _daxo_files '' ;;
        --gap) ;;
        *) _daxo_files '*.@(mp4|MP4)' ;;
        esac
        ;;
    daxo-drvlog)
        _daxo_files '*.@(drv|DRV)'
        ;;
    daxo-library)
        if ((cword == 1)); then
            COMPREPLY=($(compgen -W "import find" -- "$cur"))
        elif [[ $prev != --since && $prev != --bbox && $prev != --from && $prev != --to && $prev != --min-speed ]]; then
            _daxo_dirs
        fi
        ;;
    esac
}
complete -F _daxo_tools daxo-card daxo-config daxo-export daxo-telemetry daxo-drvlog daxo-library
