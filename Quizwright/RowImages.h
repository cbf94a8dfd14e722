#pragma once
// The ten 16 x 16 images of the question list, drawn in code. Each even index
// is a normal image, the odd one after it its selected form.
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace RowImages {
enum TRowImage {
    Question = 0, QuestionSelected,   // yellow question mark
    Info, InfoSelected,               // letter i: information item
    Bad, BadSelected,                 // red question mark: faulty question
    Clip, ClipSelected,               // two sheets: cut or copied
    Comment, CommentSelected,         // notepad: question with a comment
    Count
};
inline constexpr int Size = 16;

// index in 0..Count-1; any other index gives a transparent image.
QImage Image(int index);
// Cached pixmaps (need a QGuiApplication).
const QPixmap &Pixmap(int index);
// Normal mode: the normal image; Selected mode: the image after it.
QIcon Icon(int normalIndex);
}
