#pragma once

#include <QString>

// Renders the program's windows into PNG files in dir (the developer option
// "--screenshot DIR"), without showing them to anyone. Returns the number of files that
// could not be written, 0 when all were.
int WriteScreenshots(const QString& dir);
