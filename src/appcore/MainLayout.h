#pragma once

// Places and sizes of the main window's controls, in twips (1/1440 inch),
// and how they follow the window's size. Kept apart from the widgets so the
// rules can be checked without a window.
namespace tarnwell {

struct TwipsRect
{
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const TwipsRect &, const TwipsRect &) = default;
};

struct MainLayout
{
    // Frame and title bar (with the menu bar) around the client area, so that
    // the window's outer size is the client size plus these.
    static constexpr int kFrameWidth = 120;
    static constexpr int kFrameHeight = 810;
    static constexpr int kInitialClientWidth = 7740;
    static constexpr int kInitialClientHeight = 6270;
    static constexpr int kMinimumOuterSize = 4500;

    // Positions in the window; the frames' in the tab control; the rest in
    // their frame.
    TwipsRect tabMain{0, 0, 7740, 5895};
    TwipsRect fraList{60, 60, 7575, 5355};
    TwipsRect treXml{60, 720, 5895, 4575};
    TwipsRect txtValue{1920, 360, 4095, 315};
    TwipsRect txtTag{60, 360, 1755, 315};
    TwipsRect cmdPutData{6120, 4920, 1395, 375};
    TwipsRect cmdGetData{6120, 4440, 1395, 375};
    TwipsRect cmdAdd{6120, 360, 1395, 375};
    TwipsRect cmdDelete{6120, 840, 1395, 375};
    TwipsRect lblTagName{60, 120, 1035, 195};
    TwipsRect lblValue{1920, 120, 1035, 195};
    TwipsRect fraXML{60, 60, 7575, 5475};
    TwipsRect txtXML{60, 60, 7485, 4815};
    TwipsRect cmdWrite{6120, 4980, 1395, 375};
    TwipsRect cmdRead{4620, 4980, 1395, 375};
    TwipsRect sbarMain{0, 5895, 7740, 375};

    // Lays the controls out for a window of the given outer size (twips).
    // The size must already be at least the minimum (see snapToMinimum).
    void resize(int outerWidth, int outerHeight);

    // The outer size raised to the minimum in each dimension that is too small.
    static void snapToMinimum(int &outerWidth, int &outerHeight);
};

// Twips to pixels at a logical resolution of dpi dots per inch, rounded.
int twipsToPixels(int twips, double dpi);
// Pixels to twips at dpi, rounded.
int pixelsToTwips(int pixels, double dpi);

} // namespace tarnwell
