#include "dispatch.h"

int main(int argc, char** argv)
{
    return zelvlan_main(argc, argv);
}
