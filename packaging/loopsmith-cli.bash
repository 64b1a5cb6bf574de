# bash completion for loopsmith-cli
_loopsmith_cli() {
  local cur prev
  _init_completion || return
  case $prev in
    --measure)
      COMPREPLY=($(compgen -W '1 2 off' -- "$cur"))
      return
      ;;
    --bpm | --number)
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '--bpm --measure --number --info --help --version' -- "$cur"))
    return
  fi
  _filedir '@(wav|WAV|t58|T58)'
}
complete -F _loopsmith_cli loopsmith-cli
