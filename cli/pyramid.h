// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The deep-zoom pyramid of a picture (--pyramid DIR): DIR/picture.dzi and
// DIR/picture_files/LEVEL/COL_ROW.png, cut by libvips, and beside them
// index.html, a viewer that opens from the folder without a server.

#include <string>

#include "parameters.h"
#include "poster.h"

class QImage;

namespace plorvex::cli {

struct Options;

// Why the options cannot make a pyramid ("" if they can): --pyramid takes no
// -o or --format, and --from a finished picture tiles that picture as it is,
// so nothing that would change it may be given with it.
std::string pyramidOptionsProblem(const Options& options);

// Why DIR cannot receive a pyramid ("" if it can): it must be a new name or
// an empty folder, not a link, in a folder that exists.
std::string pyramidFolderProblem(const std::string& dir);

// Tiles a picture rendered here.
bool writePyramid(const QImage& image, const picture::PictureParameters& parameters, const std::string& dir,
                  std::string& error);

// Renders the view as a poster into a hidden folder beside DIR and tiles it
// from there: memory holds a few bands and rows of tiles, never the picture.
// Written: the pyramid is made; Refused or Failed: `error` says why;
// Faulted or NotStreamed: the view is one to paint whole (nothing is made).
picture::PosterEnd writePyramidOfPoster(const picture::PosterRequest& request, const std::string& dir,
                                        std::string& error);

// Tiles a finished picture file, read sequentially from top to bottom, so
// that memory holds a few rows of tiles rather than the picture. Its
// parameters are read from the file for the viewer.
bool writePyramidFromPicture(const std::string& path, const std::string& dir, std::string& error);

}  // namespace plorvex::cli
