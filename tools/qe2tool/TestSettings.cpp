#include "TestSettings.h"

namespace Qe2Tool {

const TOptionName OptionNames[7] = {
    {CanViewErrors, "CanViewErrors", "canViewErrors"},
    {EnableBackNavigation, "EnableBackNavigation", "enableBackNavigation"},
    {CanViewComments, "CanViewComments", "canViewComments"},
    {CanAlwaysViewComments, "CanAlwaysViewComments", "canAlwaysViewComments"},
    {RandomVOrder, "RandomVOrder", "randomVariantOrder"},
    {CountWholeQuestion, "CountWholeQuestion", "countWholeQuestion"},
    {SetCustomQSize, "SetCustomQSize", "customWindowSize"},
};

namespace {
const char *const ScrollKeys[] = {"auto", "vertical", "horizontal", "none"};
const char *const ScrollCaptions[] = {"Автоматически", "Вертикальная", "Горизонтальная", "Нет"};
}

QStringList OptionCodeNames(quint16 options)
{
    QStringList names;
    for (const TOptionName &o : OptionNames)
        if (options & o.bit)
            names << QLatin1String(o.codeName);
    quint16 known = 0;
    for (const TOptionName &o : OptionNames)
        known |= o.bit;
    for (int bit = 0; bit < 16; ++bit)
        if ((options & ~known) & (1u << bit))
            names << QStringLiteral("bit%1").arg(bit);
    return names;
}

QString ScrollBarsKey(quint8 value)
{
    return value < 4 ? QLatin1String(ScrollKeys[value]) : QString();
}

int ScrollBarsFromKey(const QString &key)
{
    for (int i = 0; i < 4; ++i)
        if (key == QLatin1String(ScrollKeys[i]))
            return i;
    return -1;
}

QString ScrollBarsCaption(quint8 value)
{
    return value < 4 ? QString::fromUtf8(ScrollCaptions[value]) : QStringLiteral("?");
}

QJsonObject SettingsToJson(const TTestInfo &info)
{
    QJsonObject s;
    s[QStringLiteral("timeLimit")] = int(info.TimeLimit);
    s[QStringLiteral("questionOrder")] =
        info.RandomCount == 0 ? QStringLiteral("stored") : QStringLiteral("random");
    if (info.RandomCount != 0 && info.RandomCount != RandomAll)
        s[QStringLiteral("questionsAsked")] = int(info.RandomCount);
    for (const TOptionName &o : OptionNames)
        s[QLatin1String(o.key)] = (info.Options & o.bit) != 0;
    s[QStringLiteral("windowWidth")] = int(info.QWidth);
    s[QStringLiteral("windowHeight")] = int(info.QHeight);
    s[QStringLiteral("zoom")] = int(info.Zoom);
    const QString scroll = ScrollBarsKey(info.QScrollBars);
    if (scroll.isEmpty())
        s[QStringLiteral("scrollBars")] = int(info.QScrollBars);
    else
        s[QStringLiteral("scrollBars")] = scroll;
    s[QStringLiteral("reservedWord")] = int(info.ReservedWord);
    return s;
}

}  // namespace Qe2Tool
