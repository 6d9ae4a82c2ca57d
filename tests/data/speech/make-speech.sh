#!/usr/bin/env bash
# Made once, and kept as files so that the speech-quality figures do not move with the versions
# of espeak-ng and sox: spoken sentences stored as notes are (8000, 11025 and 22050 Hz, 8 and 16
# bits, one stereo file). The 8-bit files are made without dither (-D), as a sound device
# quantises a recording; sox's default dither would add white noise that no speech codec at this
# rate reproduces. Files were made with eSpeak NG 1.51 and SoX 14.4.2.
# Usage: make-speech.sh (in this folder)
set -eu
make() { # NAME VOICE RATE BITS CHANNELS TEXT
  espeak-ng -v "$2" -w "$1.speech.wav" "$6"
  sox -V1 -D "$1.speech.wav" -r "$3" -b "$4" -c "$5" "$1.wav"
  rm "$1.speech.wav"
}
make en-us-8000-16-mono en-us 8000 16 1 "Please call Stella. Ask her to bring these things."
make en-f3-11025-16-mono en+f3 11025 16 1 "Six spoons of fresh snow peas, five thick slabs."
make en-gb-22050-16-mono en-gb 22050 16 1 "Remember the meeting on Thursday."
make en-m3-11025-8-mono en+m3 11025 8 1 "We also need a small plastic snake and a big toy frog."
make de-22050-8-stereo de 22050 8 2 "Morgen fruh beginnt die Besprechung."
make en-us-f2-8000-8-mono en-us+f2 8000 8 1 "She can scoop these things into three red bags."
