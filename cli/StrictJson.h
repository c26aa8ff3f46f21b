#pragma once

#include <QByteArray>
#include <QString>

// What QJsonDocument lets pass but a settings document must not hold: a key given twice in one
// object (QJsonDocument keeps one of the values and says nothing), or a number that is not whole
// (every setting is a whole number; the text is read, so that no digit is lost in a double).
// json: text that QJsonDocument has accepted. Returns "path: reason" for the first such place, the
// path as in "gpio.ports[2].mode", or an empty text.
QString StrictJsonProblem(const QByteArray& json);
