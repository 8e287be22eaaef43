// Numbered pictures (category 17) and the image lists the pages fill with pictures and
// icons: each number names a picture file below the program's data folder; the table is in
// Nxgraphics.cpp.
#pragma once

#include "toolkit/Controls.h"

#include <string>

namespace ravelin {

// The picture's file name relative to the data folder (CurAppDataDir), "" for an unknown
// number or category.
std::string FileNameByID(int number, int category);
// Shows the numbered picture in an image (its file, or the name when the file is missing).
void LoadGraphic(int number, toolkit::TImage& image, int category);
void SetupIL(toolkit::TImageList& list);
// Appends the numbered picture to the list; returns its index.
int AddGraphicToIL(int number, toolkit::TImageList& list, int category);
// Appends a file's small (16 x 16) icon to the list and returns its index. The file is a
// picture of the data folder (a name relative to it) or a path; a file that is missing
// still takes its place, so that the indices stay as the caller counts them.
int AddSmallIconToIL(toolkit::TImageList& list, const std::string& fileName);

} // namespace ravelin
