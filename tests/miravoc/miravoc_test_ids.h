#pragma once

// Bitmaps of the slider tests: solid colours, so that a grab tells which bitmap shows where.
#define IDB_TEST_CHANNEL 9101        // 24 x 222, RGB(40, 80, 160)
#define IDB_TEST_CHANNEL_ACTIVE 9102 // 24 x 222, RGB(60, 160, 90)
#define IDB_TEST_THUMB 9103          // 24 x 20, RGB(230, 120, 20) inside a 2-px rim of RGB(255, 2, 247)
#define IDB_TEST_THUMB_ACTIVE 9104   // the same with RGB(250, 220, 40) inside
#define IDB_TEST_THUMB_DISABLED 9105 // the same with RGB(128, 128, 128) inside
