#include "shell/shell.h"

int main() { GameMain(); }
