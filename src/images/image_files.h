// SPDX-License-Identifier: GPL-3.0-or-later
// What the image window and the file manager know of picture files without a window: the
// comment file beside a picture (same name, ".dat", plain text lines), the BMP files of a
// folder with their first comment line and time, and how the window fits its picture.
// UI-free (QtCore); any thread.
#pragma once

#include <QSize>
#include <string>
#include <vector>

#include "config/safe_file.h"

namespace ktx {

// The comment file of `picture`: its name with the extension ".dat".
std::string CommentFileOf(const std::string& picture);
// The comment lines; nothing when the file cannot be read.
bool ReadCommentLines(const std::string& commentFile, std::vector<std::string>& lines);
// Writes the lines, each ended by a line feed, through a SafeFile.
bool WriteCommentLines(const std::string& commentFile, const std::vector<std::string>& lines,
                       FileError& error);

// True when `picture` with its extension replaced by ".bmp" names `tempPicture` (the case of
// the letters aside): the window then shows the fetched picture.
bool IsTempPicture(const std::string& picture, const std::string& tempPicture);

// One row of the file manager ("Dateiauswahl").
struct PictureFileRow {
    std::string name;     // file name without folder; empty in the row of an empty folder
    std::string comment;  // first comment line, at most 80 characters, or "kein Kommentar"
    std::string time;     // modification time "dd.mm.yyyy hh:mm"
};
// The files of `folder` matching "*.bmp" (the case of the letters aside), in the folder
// listing's order (sorted by name here); a folder without any gives one empty row.
std::vector<PictureFileRow> ListPictureFiles(const std::string& folder);

// The client size that keeps the picture's proportions: the dimension that is too large
// shrinks. `commentHeight` is the height of the comment field above the picture.
QSize FitClientSize(QSize client, int commentHeight, double aspectRatio);

constexpr const char* kNoComment = "kein Kommentar";

}  // namespace ktx
