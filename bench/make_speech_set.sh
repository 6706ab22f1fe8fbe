#!/usr/bin/env bash
# Speaks 20 interview questions into DIR as 16-bit WAV files, with DIR/transcripts.txt listing
# "NAME<TAB>TEXT". The questions are written for the benchmark and kept out of the language
# model's training sentences.
#   make_speech_set.sh DIR           two espeak-ng voices, clean
#   make_speech_set.sh --call DIR    five voices as a call brings them: every other question
#                                    through Opus at 16 kbit/s (VoIP mode, ffmpeg), each levelled
#                                    and over a room's noise
# The call set speaks with voices built from recorded American speakers (flite's four and
# festival's HTS voice): the acoustic model misses most of espeak-ng's formant voices even
# clean, which would hide every change to the search behind that mismatch.
set -euo pipefail
call=no
if [ "${1:-}" = --call ]; then
  call=yes
  shift
  for tool in ffmpeg flite text2wave; do
    command -v $tool >/dev/null || {
      echo "--call needs ffmpeg, flite, festival and festvox-us-slt-hts (apt-get install)" >&2
      exit 1
    }
  done
fi
dir=${1:?usage: make_speech_set.sh [--call] DIR}
mkdir -p "$dir"
questions=(
  "How would you store user sessions for a website with millions of visitors"
  "What happens when a database transaction fails halfway through"
  "Can you describe a time you had to learn a new technology quickly"
  "Why would you pick Python over JavaScript for a data pipeline"
  "How do you keep a Docker image small"
  "What is the purpose of an index on a large table"
  "Explain how you would test an API that calls other services"
  "Tell me about a mistake you made in production and what you changed"
  "How would you find duplicate numbers in a very large list"
  "What does Kubernetes do when a container crashes"
  "How do you decide when a function is too long"
  "What are the risks of caching user data"
  "Describe how HTTP requests travel from the browser to the server"
  "How would you split a monolith into smaller services"
  "What makes a good code review comment"
  "When should a team write integration tests instead of unit tests"
  "How would you handle a slow query that blocks other users"
  "What is the biggest technical challenge you have solved"
  "How do you make sure an endpoint is secure"
  "What would you do in your first month on this team"
)
voices=(en-us en-gb-x-rp)
[ $call = yes ] && voices=(flite:slt flite:rms flite:awb flite:kal16 festival:cmu_us_slt_arctic_hts)

speak() {  # VOICE TEXT OUT.wav
  case $1 in
    flite:*) flite -voice "${1#flite:}" -t "$2" -o "$3" ;;
    festival:*) echo "$2" | text2wave -eval "(voice_${1#festival:})" -o "$3" ;;
    *) espeak-ng -v "$1" -s 160 -w "$3" "$2" ;;
  esac
}
: > "$dir/transcripts.txt"
n=0
for voice in "${voices[@]}"; do
  for q in "${questions[@]}"; do
    n=$((n + 1))
    name=$(printf 'q%03d' "$n")
    speak "$voice" "$q" "$dir/$name.spoken.wav"
    sox "$dir/$name.spoken.wav" -r 22050 -c 1 "$dir/$name.raw.wav"
    rm "$dir/$name.spoken.wav"
    if [ $call = yes ]; then
      if [ $((n % 2)) = 0 ]; then
        ffmpeg -loglevel error -y -i "$dir/$name.raw.wav" -c:a libopus -b:a 16k \
          -application voip "$dir/$name.opus"
        ffmpeg -loglevel error -y -i "$dir/$name.opus" -ar 22050 -ac 1 "$dir/$name.raw.wav"
        rm "$dir/$name.opus"
      fi
      # Levelled as a call's automatic gain leaves it, then over a room's low brown noise
      # (about 25 dB below the speech).
      sox "$dir/$name.raw.wav" "$dir/$name.level.wav" norm -6 pad 0.5 0.5
      sox -n -r 22050 -c 1 "$dir/$name.noise.wav" synth "$(soxi -D "$dir/$name.level.wav")" \
        brownnoise vol 0.01
      sox -m -v 1 "$dir/$name.level.wav" -v 1 "$dir/$name.noise.wav" -b 16 "$dir/$name.wav"
      rm "$dir/$name.level.wav" "$dir/$name.noise.wav"
    else
      # Half a second of silence on each side, as speech arrives in a session.
      sox "$dir/$name.raw.wav" "$dir/$name.wav" pad 0.5 0.5
    fi
    rm "$dir/$name.raw.wav"
    printf '%s\t%s\n' "$name" "$q" >> "$dir/transcripts.txt"
  done
done
