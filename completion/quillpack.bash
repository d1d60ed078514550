# Bash completion for quillpack: the option words, and file and directory paths.
# Installed as share/bash-completion/completions/quillpack, where bash-completion loads it
# the first time quillpack is completed; without bash-completion, source it from ~/.bashrc.

# Every option word the tool knows, in the order the manual gives them: a new word is one
# more entry here. The tool ignores their case; they are offered in lower case. "-?" is
# quoted, or it would match file names.
_quillpack_option_words=(-merge -extract -list -nice -debug -recurse -r -keepcase -lf -overwrite
  -skip "-?" --help --version)

_quillpack() {
  local current=${COMP_WORDS[COMP_CWORD]}
  COMPREPLY=()
  if [[ $current == -* ]]; then
    # Read line by line, not split by the shell, which would take "-?" as a file pattern.
    mapfile -t COMPREPLY < <(compgen -W "${_quillpack_option_words[*]}" -- "${current,,}")
    return
  fi
  # Files for a mask or a merged file, directories for a source or a target: both. Shown
  # and quoted as file names; compopt fails only when called outside a completion.
  compopt -o filenames 2>/dev/null || true
  mapfile -t COMPREPLY < <(compgen -f -- "$current")
}
complete -F _quillpack quillpack
