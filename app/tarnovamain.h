#pragma once

// The whole run of the program, from the application object to the last tear-down step.
int tarnova_main(int argc, char **argv);
