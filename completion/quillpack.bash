# Bash completion for quillpack: the option words that fit the action already on the line,
# and file or directory paths where a path goes.
# Installed as share/bash-completion/completions/quillpack, where bash-completion loads it
# the first time quillpack is completed; without bash-completion, source it from ~/.bashrc.

# The words of each action, in the order the manual gives them; a new word is one more entry
# in its list. "any" fits every action, and before an action all words do. The tool ignores
# their case; they are offered in lower case. "-?" is quoted, or it would match file names.
_quillpack_any_words=(-debug -quiet -q "-?" --help --version)
_quillpack_merge_words=(-nice -recurse -r -keepcase -escape -exclude= -files-from= -gitignore
  -hidden -overwrite -skip)
_quillpack_extract_words=(-lf -overwrite -skip)
_quillpack_action_words=(-merge -extract -list)

# The action the words before the cursor name, the later one counting: merge, extract, list
# or none. The "/" forms count as on Linux, where they are option words.
_quillpack_action() {
  local word action=none
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case ${word,,} in
      -merge | /merge) action=merge ;;
      -extract | /extract) action=extract ;;
      -list | /list) action=list ;;
    esac
  done
  echo "$action"
}

# How many paths stand before the cursor: every word but the option words and the values
# of -exclude= and -files-from=, which bash splits off at "=".
_quillpack_paths_before() {
  local i word count=0
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word == = ]]; then
      ((i++))
    elif [[ $word == - || ($word != -* && $word != /*) ]]; then
      count=$((count + 1))
    elif [[ $word == /* ]] && ! _quillpack_is_slash_word "$word"; then
      count=$((count + 1)) # an absolute path
    fi
  done
  echo "$count"
}

_quillpack_is_slash_word() {
  local word=-${1:1}
  word=${word,,}
  [[ " ${_quillpack_any_words[*]} ${_quillpack_merge_words[*]} ${_quillpack_extract_words[*]} \
${_quillpack_action_words[*]} " == *" $word "* && $word != --* && $word != *= ]]
}

# Offers `words` that begin with the current word, read line by line, not split by the
# shell, which would take "-?" as a file pattern. A word that ends in "=" takes its value
# right after it, so no space follows it.
_quillpack_offer_words() {
  local current=$1
  shift
  mapfile -t COMPREPLY < <(compgen -W "$*" -- "${current,,}")
  if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then
    compopt -o nospace 2>/dev/null || true
  fi
}

# Files, or with -d directories only, shown and quoted as file names; compopt fails only
# when called outside a completion.
_quillpack_offer_paths() {
  compopt -o filenames 2>/dev/null || true
  if [[ $1 == -d ]]; then
    mapfile -t COMPREPLY < <(compgen -d -- "$2")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
  fi
}

_quillpack() {
  local current=${COMP_WORDS[COMP_CWORD]}
  local previous=${COMP_WORDS[COMP_CWORD - 1]}
  local action
  action=$(_quillpack_action)
  COMPREPLY=()
  # The value of -files-from= is a file; that of -exclude= a pattern, left to the user.
  if [[ $current == = || $previous == = ]]; then
    local option=${COMP_WORDS[COMP_CWORD - 1]}
    [[ $current == = ]] || option=${COMP_WORDS[COMP_CWORD - 2]}
    [[ $current == = ]] && current=
    if [[ ${option,,} == -files-from && $action == merge ]]; then
      _quillpack_offer_paths "$current"
    fi
    return
  fi
  local paths
  paths=$(_quillpack_paths_before)
  if [[ $current == -* ]]; then
    case $action in
      none)
        _quillpack_offer_words "$current" "${_quillpack_action_words[*]}" \
          "${_quillpack_merge_words[*]}" -lf "${_quillpack_any_words[*]}"
        ;;
      merge) _quillpack_offer_words "$current" "${_quillpack_merge_words[*]}" \
        "${_quillpack_any_words[*]}" ;;
      extract) _quillpack_offer_words "$current" "${_quillpack_extract_words[*]}" \
        "${_quillpack_any_words[*]}" ;;
    esac
    return
  fi
  # The paths each action takes: merge a source and an output, extract a merged file and
  # a target directory, list one merged file.
  case $action:$paths in
    extract:1) _quillpack_offer_paths -d "$current" ;;
    list:0 | none:* | merge:[01] | extract:0) _quillpack_offer_paths "$current" ;;
  esac
}
complete -F _quillpack quillpack
