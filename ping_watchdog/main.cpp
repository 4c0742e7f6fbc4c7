#include "watchdog.h"

int main(int argc, char** argv)
{
    return zelpingwdog_main(argc, argv);
}
