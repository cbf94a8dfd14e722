#pragma once
// The test both editor benchmarks measure: questions with a picture of about
// 200 KB in every other one, as a teacher's test with illustrations.
#include <QRandomGenerator>
#include <QTextCursor>
#include <memory>

#include "MJvRichedit.h"
#include "QuizEngineCommon.h"

inline QImage SamplePicture(int seed)
{
    QImage img(300, 222, QImage::Format_RGB32);
    QRandomGenerator gen{quint32(seed)};
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = qRgb((x + seed * 7) & 255, (y * 2 + int(gen.bounded(24))) & 255, (x ^ y) & 255);
    }
    return img;
}

inline TQuestionList PictureQuestions(int count)
{
    TMJvRichEdit edit;
    TQuestionList questions;
    for (int i = 0; i < count; ++i) {
        edit.clear();
        QTextCursor c(edit.document());
        c.insertText(QStringLiteral("Вопрос %1: что изображено на рисунке?").arg(i + 1));
        if (i % 2 == 1) {
            c.insertBlock();
            edit.setTextCursor(c);
            edit.InsertPicture(SamplePicture(i));
        }
        auto q = std::make_shared<TNQuestion>();
        q->Body = edit.SaveRichToBytes();
        q->PlainLines.Add(QStringLiteral("Вопрос %1: что изображено на рисунке?").arg(i + 1));
        q->Variants = {QStringLiteral("Дом"), QStringLiteral("Лес"), QStringLiteral("Река")};
        q->RightMarks = QStringLiteral(" ! ");
        questions.push_back(std::move(q));
    }
    return questions;
}
