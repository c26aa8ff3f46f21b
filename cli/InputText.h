#pragma once

#include <QByteArray>

class QIODevice;

// The files the commands read (a plan, a settings document) as their parsers take them: without
// the UTF-8 byte-order mark that some editors write at the start of a file.
QByteArray WithoutByteOrderMark(const QByteArray& text);
// The rest of an open file, so.
QByteArray ReadInputText(QIODevice& file);
