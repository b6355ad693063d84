/* The emulated boards the device checks run on: character output and exit
 * for the device harness and the instruction counter. An ATmega2560 under
 * simavr (UART 0; sleeping with interrupts off ends the simulation), and
 * qemu's RISC-V virt board started bare (its 16550 UART, and its test
 * device to end with a status). */
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
void lz16_putc(char c)
{
    volatile uint8_t *const uart = (volatile uint8_t *)0x10000000u;
    while (!(uart[5] & 0x20)) /* until the transmitter has room */
        ;
    uart[0] = (uint8_t)c;
}

void lz16_exit(int status)
{
    *(volatile uint32_t *)0x100000u = status ? (uint32_t)status << 16 | 0x3333u : 0x5555u;
    for (;;)
        ;
}

/* Where the board starts (the linker script puts it first): a stack, then main. */
uint32_t lz16_stack[4096];
void _start(void) __attribute__((naked, section(".text.start")));
void _start(void)
{
    __asm__ volatile("la sp, lz16_stack + 16384\n\tcall main\n\tcall lz16_exit");
}
#endif
