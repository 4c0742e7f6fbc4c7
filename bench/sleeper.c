/* Reference for the watchdog's CPU time per cycle: a process that does
 * nothing but sleep one second at a time. Each watchdog cycle at interval 1
 * wakes from three one-second waits (the interval, the pause after a reply
 * and the wait that times out), so three of these wake-ups are the least a
 * cycle can cost on this machine. */
#include <unistd.h>

int main(void)
{
    for (;;)
        sleep(1);
}
