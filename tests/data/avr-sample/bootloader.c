/* A stand-in boot loader linked into the ATmega128 boot section (0x1E000):
 * just enough code to occupy the top 8 KiB of flash the way a real one does. */
#include <avr/io.h>

int main(void) {
  UBRR0L = 25;
  UCSR0B = (1 << RXEN0) | (1 << TXEN0);
  for (;;) {
    while (!(UCSR0A & (1 << RXC0))) {
    }
    const uint8_t c = UDR0;
    while (!(UCSR0A & (1 << UDRE0))) {
    }
    UDR0 = c;
  }
}
