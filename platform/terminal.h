#pragma once

// Whether the descriptor is a terminal, and how many columns it shows (80 when unknown).
bool isTerminal(int fd);
int terminalColumns(int fd);
