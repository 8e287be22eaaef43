// Numbered pictures (category 17): each number names a picture file below the program's
// data folder; the table is in Nxgraphics.cpp.
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

} // namespace ravelin
