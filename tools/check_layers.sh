#!/usr/bin/env bash
# Checks every #include "..." under a source folder against the layers file.
#
#   check_layers.sh <layers file> <source folder>
#
# Prints one line per forbidden include (file, line, the edge and the rule it breaks) and per
# problem of the layers file itself, and exits 1 when there was any; 0 when all is in order.
set -u
shopt -s extglob

if [[ $# -ne 2 ]]; then
    echo "usage: $0 <layers file> <source folder>" >&2
    exit 2
fi
layers_file=$1
src_root=${2%/}
if [[ ! -r $layers_file || ! -d $src_root ]]; then
    echo "$0: cannot read $layers_file or $src_root" >&2
    exit 2
fi

declare -A allowed=()         # folder -> " core notify ... " (with itself)
declare -a emulator_globs=()  # paths under src/ that count as the folder emulate
family_root=""                # protocols
declare -A family_shared=()   # subfolders of the family root that are not families
declare -a registry_globs=()  # files that may include the families
declare -A internal=()        # header -> its folder
declare -a pending_files=() pending_target=() pending_line=() pending_used=()
errors=0

fail() {
    echo "$1"
    errors=$((errors + 1))
}

# ---- The layers file -------------------------------------------------------------------------
line_number=0
while IFS= read -r raw || [[ -n $raw ]]; do
    line_number=$((line_number + 1))
    line=${raw%%#*}
    line=${line##+([[:space:]])}
    line=${line%%+([[:space:]])}
    [[ -z $line ]] && continue
    if [[ $line != *:* ]]; then
        fail "$layers_file:$line_number: expected '<key>: <values>': $raw"
        continue
    fi
    key=${line%%:*}
    key=${key%%+([[:space:]])}
    read -r -a values <<<"${line#*:}"
    case $key in
        emulator) emulator_globs+=("${values[@]}") ;;
        families)
            family_root=${values[0]:-}
            for shared in "${values[@]:1}"; do family_shared[$shared]=1; done
            ;;
        family-registry) registry_globs+=("${values[@]}") ;;
        internal)
            for header in "${values[@]}"; do internal[$header]=${header%%/*}; done
            ;;
        pending)
            # <files> -> <folder>
            if [[ ${#values[@]} -ne 3 || ${values[1]} != "->" ]]; then
                fail "$layers_file:$line_number: expected 'pending: <files> -> <folder>': $raw"
                continue
            fi
            pending_files+=("${values[0]}")
            pending_target+=("${values[2]}")
            pending_line+=("$line_number")
            pending_used+=(0)
            ;;
        *[!a-z0-9_-]*) fail "$layers_file:$line_number: not a folder name: $key" ;;
        *) allowed[$key]=" $key ${values[*]} " ;;
    esac
done <"$layers_file"

for folder in "${!allowed[@]}"; do
    for target in ${allowed[$folder]}; do
        [[ -n ${allowed[$target]+x} ]] ||
            fail "$layers_file: $folder lists $target, which has no line of its own"
    done
done

# The folder a path under src/ belongs to, in REPLY: emulator code counts as emulate; empty
# for a path without a folder. (Results go through REPLY: no subshell per include.)
folder_of() {
    local path=$1 glob
    for glob in "${emulator_globs[@]}"; do
        # shellcheck disable=SC2053 # the pattern is meant to match
        if [[ $path == $glob ]]; then
            REPLY=emulate
            return
        fi
    done
    REPLY=""
    [[ $path == */* ]] && REPLY=${path%%/*}
}

# The family folder of a path under the family root in REPLY, empty when it is in none.
family_of() {
    local path=$1 rest sub
    REPLY=""
    [[ -n $family_root && $path == "$family_root"/*/* ]] || return 0
    rest=${path#"$family_root"/}
    sub=${rest%%/*}
    [[ -n ${family_shared[$sub]+x} ]] || REPLY=$sub
}

matches_any() {
    local path=$1 glob
    shift
    for glob in "$@"; do
        # shellcheck disable=SC2053
        [[ $path == $glob ]] && return 0
    done
    return 1
}

# ---- Every folder of the sources must be placed --------------------------------------------
while IFS= read -r dir; do
    name=${dir##*/}
    [[ -n ${allowed[$name]+x} ]] ||
        fail "$src_root/$name: folder not placed in $layers_file (give it a line there)"
done < <(find "$src_root" -mindepth 1 -maxdepth 1 -type d | sort)

# ---- Every include -------------------------------------------------------------------------
while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    number=${rest%%:*}
    text=${rest#*:}
    included=${text#*\"}
    included=${included%%\"*}
    relative=${file#"$src_root"/}
    where="$file:$number"

    folder_of "$relative"
    from=$REPLY
    folder_of "$included"
    to=$REPLY
    if [[ -z $from || -z ${allowed[$from]+x} ]]; then
        continue  # reported above as an unplaced folder
    fi
    if [[ -z $to ]]; then
        fail "$where: include \"$included\" names no folder (write it from src/: \"<folder>/...\")"
        continue
    fi
    if [[ -z ${allowed[$to]+x} ]]; then
        fail "$where: include \"$included\": folder $to is not placed in $layers_file"
        continue
    fi

    # The edge between the folders.
    if [[ ${allowed[$from]} != *" $to "* ]]; then
        excused=0
        for i in "${!pending_files[@]}"; do
            # shellcheck disable=SC2053
            if [[ $relative == ${pending_files[$i]} && $to == "${pending_target[$i]}" ]]; then
                pending_used[$i]=1
                excused=1
            fi
        done
        if [[ $excused -eq 0 ]]; then
            read -r -a permitted <<<"${allowed[$from]}"
            fail "$where: forbidden include \"$included\": $from -> $to ($from may include: ${permitted[*]})"
            continue
        fi
    fi

    # Families of the protocols.
    family_of "$included"
    to_family=$REPLY
    if [[ -n $to_family ]]; then
        family_of "$relative"
        from_family=$REPLY
        if [[ -n $from_family ]]; then
            if [[ $from_family != "$to_family" ]]; then
                fail "$where: forbidden include \"$included\": family $from_family -> family $to_family (a family includes only $family_root/${!family_shared[*]} and itself)"
                continue
            fi
        elif [[ $from != emulate ]] && ! matches_any "$relative" "${registry_globs[@]}"; then
            fail "$where: forbidden include \"$included\": only the family registry (${registry_globs[*]}) includes a family"
            continue
        fi
    fi

    # Headers internal to their folder.
    if [[ -n ${internal[$included]+x} && ${relative%%/*} != "${internal[$included]}" ]]; then
        fail "$where: forbidden include \"$included\": internal to ${internal[$included]}/"
        continue
    fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src_root" \
    --include='*.cpp' --include='*.hpp' --include='*.h' --include='*.cc' --include='*.hh' \
    --include='*.inl' --include='*.ipp' --include='*.in' | sort -t: -k1,1 -k2,2n)

for i in "${!pending_files[@]}"; do
    if [[ ${pending_used[$i]} -eq 0 ]]; then
        fail "$layers_file:${pending_line[$i]}: pending exception ${pending_files[$i]} -> ${pending_target[$i]} is no longer needed: remove it"
    fi
done

if [[ $errors -gt 0 ]]; then
    echo "$errors layering problem(s); the layers are in $layers_file"
    exit 1
fi
echo "layers in order"
exit 0
