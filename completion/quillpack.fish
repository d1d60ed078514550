# Fish completion for quillpack: the option words that fit the action already on the line,
# and file or directory paths where a path goes. Installed as
# share/fish/vendor_completions.d/quillpack.fish, where fish looks for completions; the
# same knowledge as completion/quillpack.bash.

# The words of each action, in the order the manual gives them; "any" fits every action, and
# before an action all words do. The tool ignores their case.
set -g __quillpack_any_words -debug -quiet -q '-?' --help --version
set -g __quillpack_merge_words -nice -recurse -r -keepcase -escape -exclude= -files-from= \
    -gitignore -hidden -overwrite -skip
set -g __quillpack_extract_words -lf -overwrite -skip
set -g __quillpack_action_words -merge -extract -list

# Whether a word that begins with "/" is an option word on Linux, not an absolute path.
function __quillpack_is_slash_word -a word
    for known in $__quillpack_action_words $__quillpack_merge_words \
            $__quillpack_extract_words $__quillpack_any_words
        if not string match -q -- '--*' $known; and not string match -q -- '*=' $known
            test "/"(string sub -s 2 -- $known) = $word; and return 0
        end
    end
    return 1
end

# Prints the action the words before the cursor name (the later one counts: merge,
# extract, list or none), then how many paths stand there.
function __quillpack_state
    set -l action none
    set -l paths 0
    for word in (string lower -- (commandline -opc)[2..-1])
        switch $word
            case -merge /merge
                set action merge
            case -extract /extract
                set action extract
            case -list /list
                set action list
        end
        if test "$word" = -; or not string match -q -r -- '^[-/]' $word
            set paths (math $paths + 1)
        else if string match -q -- '/*' $word; and not __quillpack_is_slash_word $word
            set paths (math $paths + 1)
        end
    end
    echo $action
    echo $paths
end

function __quillpack_complete
    set -l current (commandline -ct)
    set -l state (__quillpack_state)
    # The value of -files-from= is a file; that of -exclude= a pattern, left to the user.
    if string match -q -i -- '-files-from=*' $current
        if test $state[1] = merge
            set -l option (string replace -r -- '=.*' '=' $current)
            printf '%s\n' $option(__fish_complete_path (string replace -r -- '^[^=]*=' '' $current))
        end
        return
    end
    string match -q -- '*=*' $current; and return
    if string match -q -- '-*' $current
        switch $state[1]
            case none
                printf '%s\n' $__quillpack_action_words $__quillpack_merge_words -lf \
                    $__quillpack_any_words
            case merge
                printf '%s\n' $__quillpack_merge_words $__quillpack_any_words
            case extract
                printf '%s\n' $__quillpack_extract_words $__quillpack_any_words
        end
        return
    end
    # The paths each action takes: merge a source and an output, extract a merged file and
    # a target directory, list one merged file.
    switch $state[1]:$state[2]
        case extract:1
            __fish_complete_directories $current
        case list:0 none:'*' merge:0 merge:1 extract:0
            __fish_complete_path $current
    end
end

complete -c quillpack -f -a '(__quillpack_complete)'
