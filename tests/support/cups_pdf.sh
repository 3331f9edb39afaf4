#!/usr/bin/env bash
# A CUPS printer that prints into PDF files, made the system's default for a test and put back
# afterwards. Needs root (cupsd, lpadmin) and the packages cups and printer-driver-cups-pdf.
#   cups_pdf.sh start STATE    exits 77 when it cannot (not root, not installed)
#   cups_pdf.sh stop STATE
# Printed pages land as PDF files in the printing user's $HOME/PDF.
set -euo pipefail
cmd="$1"; state="$2"
printer=MirvaneTestPDF
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd

case "$cmd" in
start)
  if [ "$(id -u)" -ne 0 ]; then echo "SKIP: a CUPS daemon needs root"; exit 77; fi
  if ! command -v cupsd >/dev/null || [ ! -f "$ppd" ]; then
    echo "SKIP: cups and printer-driver-cups-pdf are not installed"; exit 77
  fi
  : > "$state"
  if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    # Our own scheduler, in the background; stop stops it again.
    setsid cupsd -f >/dev/null 2>&1 < /dev/null &
    echo "cupsd=$!" >> "$state"
    for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
    lpstat -r | grep -q 'is running' || { echo "cupsd did not start"; exit 1; }
  fi
  old=$(lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p')
  echo "default=$old" >> "$state"
  # pdftocairo turns the job into PostScript with fonts that keep their text, so the PDF that
  # comes out can be read back with pdftotext (the other renderers leave unnamed glyphs).
  lpadmin -p "$printer" -v cups-pdf:/ -E -P "$ppd" -o pdftops-renderer-default=pdftocairo 2>/dev/null
  lpadmin -d "$printer"
  echo "printer=$printer" >> "$state"
  ;;
stop)
  [ -f "$state" ] || exit 0
  old=$(sed -n 's/^default=//p' "$state")
  pid=$(sed -n 's/^cupsd=//p' "$state")
  lpadmin -x "$printer" 2>/dev/null || true
  [ -z "$old" ] || lpadmin -d "$old" 2>/dev/null || true
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -f "$state"
  ;;
*) echo "usage: $0 start|stop STATE" >&2; exit 2 ;;
esac
