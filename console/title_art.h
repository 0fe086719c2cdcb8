// The title banner: 8 rows of 33 cells, '#' filled and ' ' empty, row after row.
#pragma once

#include "os_services.h"

constexpr int title_art_rows = OS_TITLE_HEIGHT;
constexpr int title_art_columns = OS_TITLE_WIDTH;
constexpr int title_art_top = OS_TITLE_TOP;    // screen row of art row 0
constexpr int title_art_left = OS_TITLE_LEFT;  // screen column of art column 0

extern const char title_art[title_art_rows * title_art_columns + 1];
