# bash completion for kymdl
_kymdl() {
    local cur prev words cword
    _init_completion || return

    local subcommands="check show lookup convert ddl reflect diff apply diagram doc"
    local sub="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            -*) ;;
            *) sub="${words[i]}"; break ;;
        esac
    done

    if [[ -z "$sub" ]]; then
        case "$prev" in
            --color) COMPREPLY=($(compgen -W "auto always never" -- "$cur")); return ;;
        esac
        COMPREPLY=($(compgen -W "$subcommands --help --version -q --quiet -v --verbose --color" -- "$cur"))
        return
    fi

    case "$prev" in
        --dialect) COMPREPLY=($(compgen -W "sqlite postgresql" -- "$cur")); return ;;
        --format)
            local formats="dot mermaid svg png"
            case "$sub" in
                check) formats="text json sarif" ;;
                show|lookup) formats="text json" ;;
                diff) formats="sql text json" ;;
            esac
            COMPREPLY=($(compgen -W "$formats" -- "$cur")); return ;;
        -o|--output) if [[ "$sub" == doc ]]; then _filedir -d; else _filedir; fi; return ;;
        --color) COMPREPLY=($(compgen -W "auto always never" -- "$cur")); return ;;
        --classes|--timeout|--schema|--include|--exclude|--rename) return ;;
    esac

    local options
    case "$sub" in
        check) options="--strict --format" ;;
        show) options="--format" ;;
        lookup) options="--aliases --bases --format" ;;
        convert) options="" ;;
        ddl) options="--dialect -o --output" ;;
        reflect) options="-o --output --case-sensitive --timeout --schema --include --exclude" ;;
        diff) options="--dialect -o --output --format --exit-code --rename" ;;
        apply) options="--allow-destructive --dry-run --rename --timeout" ;;
        diagram) options="--format -o --output --classes" ;;
        doc) options="-o --output --no-diagrams --force" ;;
    esac
    if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "$options --help -q --quiet -v --verbose --color" -- "$cur"))
    elif [[ "$sub" == reflect ]]; then
        COMPREPLY=($(compgen -W "sqlite: postgresql://" -- "$cur"))
    elif [[ "$sub" == diff || "$sub" == apply ]]; then
        _filedir '@(yaml|yml|json)'
        COMPREPLY+=($(compgen -W "sqlite: postgresql://" -- "$cur"))
    else
        _filedir '@(yaml|yml|json)'
    fi
}
complete -F _kymdl kymdl
