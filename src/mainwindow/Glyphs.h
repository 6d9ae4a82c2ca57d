#pragma once

#include <array>

#include <QIcon>

namespace tellamo {

// The toolbar pictures by index: 0 play, 1 pause, 2 stop, 3 record, 4 folder list with
// magnifier, 5 funnel with filter, 6 A=a, 7 loudspeaker, 8 crossed-out loudspeaker, 9 level
// strip with scissors, 10 level strip, 11 folder list, 12 A≠a, 13 empty funnel, 14 skip back,
// 15 skip forward.
constexpr int GlyphCount = 16;

// One set of the toolbar pictures, plain or with a drawn border, rendered from the program's SVG
// drawings: the enabled picture and the disabled (grayed) one, at whatever size and scale a
// view asks for, each when it is first asked for.
class GlyphSet {
public:
    explicit GlyphSet(bool bordered);
    const QIcon& Icon(int index) const { return mIcons.at(static_cast<std::size_t>(index)); }

private:
    std::array<QIcon, GlyphCount> mIcons;
};

// The folder tree's pictures: 0 closed folder, 1 open folder, 2 and 3 Recycle Bin, 4 Recycle
// Bin with a magnifying glass, 5 open folder with a magnifying glass.
QIcon TreeImage(int index);

// The program's icon.
QIcon ApplicationIcon();

} // namespace tellamo
