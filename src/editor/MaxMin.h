#pragma once

// Integer minimum and maximum, as the editor's modules use them.
inline int Min(int a, int b) { return a < b ? a : b; }
inline int Max(int a, int b) { return a > b ? a : b; }
