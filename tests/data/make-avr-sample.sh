#!/usr/bin/env bash
# Rebuilds the AVR sample files with Debian's gcc-avr, avr-libc and
# binutils-avr:
#   avr-sample.hex, avr-sample.eep  ATmega128 application (avr-sample/firmware.c)
#       with EEPROM data and the 19-character firmware description at 0x1DF08
#   avr-bootloader.hex              a stand-in boot loader (avr-sample/bootloader.c)
#       linked at 0x1E000, the boot section
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
avr-gcc -mmcu=atmega128 -Os -Wall -o "$work/firmware.elf" avr-sample/firmware.c \
  -Wl,--section-start=.fwdesc=0x1DF08 -Wl,--undefined=firmware_description
avr-objcopy -O ihex -j .text -j .data -j .fwdesc "$work/firmware.elf" avr-sample.hex
avr-objcopy -O ihex -j .eeprom --change-section-lma .eeprom=0 "$work/firmware.elf" avr-sample.eep
avr-gcc -mmcu=atmega128 -Os -Wall -nostartfiles -o "$work/bootloader.elf" avr-sample/bootloader.c \
  -Wl,--section-start=.text=0x1E000
avr-objcopy -O ihex -j .text -j .data "$work/bootloader.elf" avr-bootloader.hex
echo "avr-sample.hex, avr-sample.eep and avr-bootloader.hex written"
