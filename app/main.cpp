#include "tarnovamain.h"

int main(int argc, char **argv) {
    return tarnova_main(argc, argv);
}
