# bash completion for loopsmith-cli
_loopsmith_cli() {
  local cur prev
  _init_completion || return
  case $prev in
    --measure)
      COMPREPLY=($(compgen -W '1 2 off' -- "$cur"))
      return
      ;;
    --bpm | --start)
      COMPREPLY=($(compgen -W 'auto' -- "$cur"))
      return
      ;;
    --number)
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '--bpm --measure --number --start --adapt --dither --info --json --null --no-clobber --move --swap --remove --help --version' \
      -- "$cur"))
    return
  fi
  # With --adapt any sound file will do; without it, WAV and loop files.
  if [[ " ${COMP_WORDS[*]} " == *" --adapt "* ]]; then
    _filedir
  else
    _filedir '@(wav|WAV|t58|T58)'
  fi
}
complete -F _loopsmith_cli loopsmith-cli
