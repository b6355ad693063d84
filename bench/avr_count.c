/* Counts the instructions an AVR program runs under simavr, to its end
 * (sleeping with interrupts off, as lz16_exit does on the device boards):
 * each avr_run of a running core executes one instruction. For
 * scripts/instructions.sh.
 *
 *   avr_count MCU PROGRAM.elf   (prints the count) */
#include <simavr/sim_avr.h>
#include <simavr/sim_elf.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    elf_firmware_t fw = {0};
    avr_t *avr;
    unsigned long long n = 0;
    int state = cpu_Running;
    if (argc != 3 || !(avr = avr_make_mcu_by_name(argv[1])) || elf_read_firmware(argv[2], &fw) != 0) {
        fprintf(stderr, "usage: avr_count MCU PROGRAM.elf\n");
        return 2;
    }
    avr_init(avr);
    avr_load_firmware(avr, &fw);
    while (state != cpu_Done && state != cpu_Crashed) {
        n += avr->state == cpu_Running;
        state = avr_run(avr);
    }
    printf("%llu\n", n);
    return state == cpu_Done ? 0 : 1;
}
