/* Character output and exit for the device harness, on the machines it
 * runs on: an ATmega2560 under simavr (UART 0; sleeping with interrupts
 * off ends the simulation) and qemu's RISC-V virt board (its 16550 UART,
 * and its test device to end with a status), started bare. */
#include <stdint.h>

void lz16_putc(char c);
void lz16_exit(int status);
int main(void);

#if defined(__AVR__)
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>

void lz16_putc(char c)
{
    UCSR0B = 1 << TXEN0;
    while (!(UCSR0A & (1 << UDRE0)))
        ;
    UDR0 = (uint8_t)c;
}

void lz16_exit(int status)
{
    (void)status; /* the host reads the lines */
    cli();
    sleep_mode();
}

#elif defined(__riscv)
#define UART ((volatile uint8_t *)0x10000000u)
#define TEST_DEVICE ((volatile uint32_t *)0x100000u)

void lz16_putc(char c)
{
    while (!(UART[5] & 0x20)) /* room in the transmitter */
        ;
    UART[0] = (uint8_t)c;
}

void lz16_exit(int status)
{
    *TEST_DEVICE = status ? (uint32_t)status << 16 | 0x3333u : 0x5555u;
    for (;;)
        ;
}

/* Where the board starts: a stack, then main. */
static uint32_t stack[4096];
void _start(void) __attribute__((naked, section(".text.start")));
void _start(void)
{
    __asm__ volatile("la sp, %0\n\tadd sp, sp, %1\n\tcall main\n\tcall lz16_exit" ::"i"(stack), "r"(sizeof stack));
}
#endif
