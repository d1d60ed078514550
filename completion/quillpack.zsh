#compdef quillpack
# Zsh completion for quillpack: the option words that fit the action already on the line,
# and file or directory paths where a path goes. Installed as
# share/zsh/vendor-completions/_quillpack, in the folders zsh looks in for completions;
# the same knowledge as completion/quillpack.bash.

# The words of each action, in the order the manual gives them; "any" fits every action, and
# before an action all words do. The tool ignores their case.
local -a any_words merge_words extract_words action_words slash_words offered
any_words=(-debug -quiet -q '-?' --help --version)
merge_words=(-nice -recurse -r -keepcase -escape -exclude= -files-from= -gitignore -hidden
  -overwrite -skip)
extract_words=(-lf -overwrite -skip)
action_words=(-merge -extract -list)
# The "/" forms that are option words on Linux; any other word that begins with "/" is a path.
slash_words=($action_words $merge_words $extract_words $any_words)
slash_words=(/${^${slash_words:#(--*|*=)}#-})

# The action the words before the cursor name (the later one counts), and how many paths
# stand there.
local action=none word
local -i i paths=0
for ((i = 2; i < CURRENT; i++)); do
  word=${(L)words[i]}
  case $word in
    (-merge|/merge) action=merge ;;
    (-extract|/extract) action=extract ;;
    (-list|/list) action=list ;;
  esac
  if [[ $word == - || ($word != -* && $word != /*) ]] ||
     [[ $word == /* && ${slash_words[(Ie)$word]} -eq 0 ]]; then
    paths+=1
  fi
done

# The value of -files-from= is a file; that of -exclude= a pattern, left to the user.
if [[ ${(L)PREFIX} == -files-from=* ]]; then
  [[ $action == merge ]] || return 1
  compset -P '*='
  _files
  return
fi
[[ $PREFIX == *=* ]] && return 1

if [[ $PREFIX == -* ]]; then
  case $action in
    (none) offered=($action_words $merge_words -lf $any_words) ;;
    (merge) offered=($merge_words $any_words) ;;
    (extract) offered=($extract_words $any_words) ;;
    (*) return 1 ;;
  esac
  # A word that ends in "=" takes its value right after it: no space follows it.
  compadd -M 'm:{A-Z}={a-z}' -S '' -- ${(M)offered:#*=}
  compadd -M 'm:{A-Z}={a-z}' -- ${offered:#*=}
  return
fi

# The paths each action takes: merge a source and an output, extract a merged file and a
# target directory, list one merged file.
case $action:$paths in
  (extract:1) _files -/ ;;
  (list:0|none:*|merge:[01]|extract:0) _files ;;
  (*) return 1 ;;
esac
