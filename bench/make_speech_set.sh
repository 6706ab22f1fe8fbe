#!/usr/bin/env bash
# Speaks 20 interview questions and 10 ordinary sentences (small talk, behavioural questions) into
# DIR as 16-bit WAV files, with DIR/transcripts.txt listing "NAME<TAB>TEXT". Names say the voice
# and the kind: v2-q07 is the second voice's seventh question, v2-s03 its third ordinary sentence.
# The questions are written for the benchmark and kept out of the language model's training
# sentences; the ordinary sentences show whether the interview bias invents technical words.
#   make_speech_set.sh [--channel CHANNEL] DIR
#     clean      two espeak-ng voices, as spoken (the default)
#     opus       five voices as a call brings them: every other utterance through Opus at
#                16 kbit/s (VoIP mode), each levelled and over a room's brown noise (--call)
#     wideband   five voices through a 100-7000 Hz call band over pink noise at 20 dB SNR
#     babble     five voices over other people talking, at 15 to 25 dB SNR
#     phone      five voices through an 8 kHz telephone: 300-3400 Hz, mu-law, light noise
# The five-voice channels speak with voices built from recorded American speakers (flite's four
# and festival's HTS voice): the acoustic model misses most of espeak-ng's formant voices even
# clean, which would hide every change to the search behind that mismatch.
set -euo pipefail
channel=clean
case "${1:-}" in
  --call) channel=opus; shift ;;
  --channel) channel=${2:?--channel needs clean, opus, wideband, babble or phone}; shift 2 ;;
esac
case $channel in
  clean | opus | wideband | babble | phone) ;;
  *) echo "unknown channel: $channel (clean, opus, wideband, babble or phone)" >&2; exit 2 ;;
esac
if [ $channel != clean ]; then
  for tool in ffmpeg flite text2wave; do
    command -v $tool >/dev/null || {
      echo "--channel $channel needs ffmpeg, flite, festival and festvox-us-slt-hts" \
        "(apt-get install)" >&2
      exit 1
    }
  done
fi
dir=${1:?usage: make_speech_set.sh [--channel CHANNEL] DIR}
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
sentences=(
  "Thanks for making the time to talk with me today"
  "Did you have any trouble finding the link for the call"
  "How has your week been going so far"
  "Tell me about a time you disagreed with your manager"
  "What did you enjoy most about your last job"
  "We usually start with a short chat before the main questions"
  "Give me an example of when you helped a colleague who was struggling"
  "I can hear you clearly now so let us begin"
  "What do you like to do when you are not working"
  "Where do you see yourself in a few years"
)
voices=(en-us en-gb-x-rp)
[ $channel != clean ] &&
  voices=(flite:slt flite:rms flite:awb flite:kal16 festival:cmu_us_slt_arctic_hts)

speak() {  # VOICE TEXT OUT.wav
  case $1 in
    flite:*) flite -voice "${1#flite:}" -t "$2" -o "$3" ;;
    festival:*) echo "$2" | text2wave -eval "(voice_${1#festival:})" -o "$3" ;;
    *) espeak-ng -v "$1" -s 160 -w "$3" "$2" ;;
  esac
}
rms() { sox "$1" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}'; }
# over_noise IN.wav NOISE.wav SNR_DB OUT.wav: the noise, scaled to SNR_DB below the speech's RMS
# and cut to the speech's length, mixed under it.
over_noise() {
  local seconds factor
  seconds=$(soxi -D "$1")
  sox "$2" "$dir/cut.wav" trim 0 "$seconds"
  factor=$(awk -v s="$(rms "$1")" -v n="$(rms "$dir/cut.wav")" -v snr="$3" \
    'BEGIN {printf "%.6f", s / n / exp(log(10) * snr / 20)}')
  sox -m -v 1 "$1" -v "$factor" "$dir/cut.wav" -b 16 "$4"
  rm "$dir/cut.wav"
}
# Other people talking: four voices' takes on the questions, each from its own point, together.
make_babble() {
  local takes=() i=0 voice
  for voice in flite:rms flite:awb flite:kal16 flite:slt; do
    i=$((i + 1))
    speak "$voice" "${questions[*]:$((i * 4))} ${questions[*]:0:$((i * 4))}" "$dir/take$i.wav"
    sox "$dir/take$i.wav" -r 22050 -c 1 "$dir/take$i.norm.wav" norm -3 trim "$i"
    takes+=("$dir/take$i.norm.wav")
    rm "$dir/take$i.wav"
  done
  sox -m "${takes[@]}" "$dir/babble.wav"
  rm "${takes[@]}"
}
[ $channel = babble ] && make_babble
: > "$dir/transcripts.txt"
n=0
v=0
for voice in "${voices[@]}"; do
  v=$((v + 1))
  for kind in q s; do
    if [ $kind = q ]; then lines=("${questions[@]}"); else lines=("${sentences[@]}"); fi
    k=0
    for line in "${lines[@]}"; do
      n=$((n + 1))
      k=$((k + 1))
      name=$(printf 'v%d-%s%02d' "$v" "$kind" "$k")
      out="$dir/$name.wav"
      speak "$voice" "$line" "$dir/$name.spoken.wav"
      sox "$dir/$name.spoken.wav" -r 22050 -c 1 "$dir/$name.raw.wav"
      rm "$dir/$name.spoken.wav"
      # Levelled as a call's automatic gain leaves it, with half a second on each side, as
      # speech arrives in a session.
      [ $channel != clean ] && sox "$dir/$name.raw.wav" "$dir/$name.level.wav" norm -6 pad 0.5 0.5
      case $channel in
        clean) sox "$dir/$name.raw.wav" "$out" pad 0.5 0.5 ;;
        opus)
          if [ $((n % 2)) = 0 ]; then
            ffmpeg -loglevel error -y -i "$dir/$name.level.wav" -c:a libopus -b:a 16k \
              -application voip "$dir/$name.opus"
            ffmpeg -loglevel error -y -i "$dir/$name.opus" -ar 22050 -ac 1 "$dir/$name.level.wav"
            rm "$dir/$name.opus"
          fi
          # A room's low brown noise, about 25 dB below the speech.
          sox -n -r 22050 -c 1 "$dir/$name.noise.wav" synth "$(soxi -D "$dir/$name.level.wav")" \
            brownnoise vol 0.01
          sox -m -v 1 "$dir/$name.level.wav" -v 1 "$dir/$name.noise.wav" -b 16 "$out"
          rm "$dir/$name.noise.wav"
          ;;
        wideband)
          sox "$dir/$name.level.wav" "$dir/$name.band.wav" sinc 100-7000
          sox -n -r 22050 -c 1 "$dir/$name.noise.wav" synth 60 pinknoise
          over_noise "$dir/$name.band.wav" "$dir/$name.noise.wav" 20 "$out"
          rm "$dir/$name.band.wav" "$dir/$name.noise.wav"
          ;;
        babble)
          sox "$dir/babble.wav" "$dir/$name.noise.wav" trim $((n % 40))
          over_noise "$dir/$name.level.wav" "$dir/$name.noise.wav" $((15 + n % 11)) "$out"
          rm "$dir/$name.noise.wav"
          ;;
        phone)
          sox -n -r 22050 -c 1 "$dir/$name.noise.wav" synth 60 whitenoise
          over_noise "$dir/$name.level.wav" "$dir/$name.noise.wav" 30 "$dir/$name.noisy.wav"
          sox "$dir/$name.noisy.wav" -r 8000 -e u-law "$dir/$name.ulaw.wav" sinc 300-3400
          sox "$dir/$name.ulaw.wav" -e signed -b 16 "$out"
          rm "$dir/$name.noise.wav" "$dir/$name.noisy.wav" "$dir/$name.ulaw.wav"
          ;;
      esac
      rm -f "$dir/$name.raw.wav" "$dir/$name.level.wav"
      printf '%s\t%s\n' "$name" "$line" >> "$dir/transcripts.txt"
    done
  done
done
rm -f "$dir/babble.wav"
