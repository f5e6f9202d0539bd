#pragma once

#include <cstdint>

// What the page's controls can be told; the elements are named by their ids in web/index.html.
extern "C" {
void korvane_dom_text(const char* id, const char* text);
// A check box is checked for 1; of a group of choices, the index-th is chosen.
void korvane_dom_choice(const char* id, int index);
void korvane_dom_enabled(const char* id, bool enabled);
void korvane_dom_shown(const char* id, bool shown);
void korvane_dom_progress(const char* id, double value, double maximum);
// The speed list: emptied, an item added at the end, or the index-th item selected (-1: none).
void korvane_dom_speed_clear();
void korvane_dom_speed_add(const char* title);
void korvane_dom_speed_select(int index);
// A modal dialog with one button per line of `buttons`; the answer comes to korvane_answer.
void korvane_dom_alert(int token, const char* message, const char* buttons);
// The browser's file chooser; the file comes to korvane_file_chosen.
void korvane_dom_choose_file(int token, const char* accept);
// `text` as a file the browser downloads, named `name`.
void korvane_dom_download(const char* name, const char* text);
}
