/* A small ATmega128 application that carries what the hex tools look at:
 * EEPROM contents, and the firmware description in the fixed strings page at
 * 0x1DF08 (the checksum before it, at 0x1DF04, stays erased until inserted). */
#include <avr/eeprom.h>
#include <avr/io.h>
#include <avr/pgmspace.h>

/* 19 characters, then the terminating NUL. */
const char firmware_description[] __attribute__((section(".fwdesc"), used)) = "TX Exciter v2.14 R7";

uint8_t EEMEM calibration[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                                 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
uint16_t EEMEM power_limit = 1250;
char EEMEM station_name[12] = "RELAY-NORTH";

static const uint8_t pattern[] PROGMEM = {1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233};

int main(void) {
  DDRB = 0xFF;
  uint8_t i = 0;
  for (;;) {
    PORTB = pgm_read_byte(&pattern[i]) ^ eeprom_read_byte(&calibration[i & 15]);
    if (++i == sizeof pattern) i = 0;
  }
}
