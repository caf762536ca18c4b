/* The loopback's limit: one libmodbus client reading holding register 1 of
 * slave 1 as fast as it can, over one TCP connection. The first second is
 * not counted, so connecting and cold caches stay out of the rate. */
#include <modbus.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: %s ADDRESS PORT SECONDS\n", argv[0]);
        return 2;
    }
    const double seconds = atof(argv[3]);
    modbus_t *ctx = modbus_new_tcp(argv[1], atoi(argv[2]));
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "cannot connect: %s\n", modbus_strerror(errno));
        return 1;
    }
    uint16_t value = 0;
    long counted = 0, errors = 0;
    const double start = now() + 1.0;
    double t = now();
    while (t < start + seconds) {
        const int ok = modbus_read_registers(ctx, 1, 1, &value) == 1;
        t = now();
        if (t >= start) {
            counted += ok;
            errors += !ok;
        }
    }
    printf("requests=%ld errors=%ld seconds=%.3f per_s=%.0f\n", counted, errors, t - start,
           (double)counted / (t - start));
    modbus_close(ctx);
    modbus_free(ctx);
    return errors != 0;
}
