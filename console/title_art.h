// The title banner: 8 rows of 33 cells, '#' filled and ' ' empty, row after row.
#pragma once

constexpr int title_art_rows = 8;
constexpr int title_art_columns = 33;
constexpr int title_art_top = 1;    // screen row of art row 0
constexpr int title_art_left = 23;  // screen column of art column 0

extern const char title_art[title_art_rows * title_art_columns + 1];
