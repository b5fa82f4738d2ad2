#pragma once

#include <QRect>
#include <QString>

class CZPSkinButton;
class CZPSkinDialog;
class QPainter;

// What every progress window shows, centred in its body: the busy animation, a line of text
// under it and a Cancel button at the bottom.

// Puts the animation and the Cancel button, reporting `cancelCode`, on the window (sized
// already) and returns the button.
CZPSkinButton* BuildProgressFace(CZPSkinDialog* window, int cancelCode);

// Draws the line of text below the animation.
void PaintProgressText(QPainter& painter, const QRect& body, const QString& text);
