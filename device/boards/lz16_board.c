/* The emulated boards the device checks run on: character output and exit
 * for the device harness and the instruction counter. An ATmega2560 under
 * simavr (UART 0; sleeping with interrupts off ends the simulation),
 * qemu's RISC-V virt board started bare (its 16550 UART, and its test
 * device to end with a status), and the ESP8266's Xtensa core under
 * qemu-xtensa -cpu lx106 (Linux user mode: write and exit_group by system
 * call). */
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

#elif defined(__XTENSA__)
static long lz16_syscall(long n, long a, long b, long c)
{
    register long a2 __asm__("a2") = n;
    register long a6 __asm__("a6") = a;
    register long a3 __asm__("a3") = b;
    register long a4 __asm__("a4") = c;
    __asm__ volatile("syscall" : "+r"(a2) : "r"(a6), "r"(a3), "r"(a4) : "memory");
    return a2;
}

void lz16_putc(char c)
{
    lz16_syscall(13, 1, (long)&c, 1);
}

void lz16_exit(int status)
{
    for (;;)
        lz16_syscall(119, status, 0, 0);
}

/* Division, which the ESP8266 has in ROM and Debian's libgcc for it lacks. */
uint32_t __udivsi3(uint32_t n, uint32_t d);
uint32_t __umodsi3(uint32_t n, uint32_t d);
uint32_t __udivsi3(uint32_t n, uint32_t d)
{
    uint32_t q = 0, r = 0;
    int bit;
    for (bit = 31; bit >= 0; --bit) {
        r = r << 1 | (n >> bit & 1u);
        if (r >= d) {
            r -= d;
            q |= 1u << bit;
        }
    }
    return q;
}

uint32_t __umodsi3(uint32_t n, uint32_t d)
{
    return n - __udivsi3(n, d) * d;
}

void _start(void);
void _start(void)
{
    lz16_exit(main());
}
#endif
