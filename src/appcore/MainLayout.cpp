#include "MainLayout.h"

#include <cmath>

namespace tarnwell {

void MainLayout::resize(int outerWidth, int outerHeight)
{
    tabMain.width = outerWidth - 120;
    tabMain.height = outerHeight - sbarMain.height - 810;
    fraList.width = tabMain.width - 120;
    fraList.height = tabMain.height - 420;
    fraXML.width = fraList.width;
    fraXML.height = fraList.height;
    treXml.width = fraList.width - cmdAdd.width - 240;
    treXml.height = fraList.height - treXml.top - 120;
    txtValue.width = treXml.width - txtTag.width - 120;
    cmdAdd.left = treXml.width + 180;
    cmdDelete.left = cmdAdd.left;
    cmdDelete.top = cmdAdd.top + cmdDelete.height + 60;
    cmdGetData.left = cmdAdd.left;
    cmdPutData.left = cmdAdd.left;
    cmdGetData.top = treXml.top + treXml.height - 2 * cmdGetData.height - 60;
    cmdPutData.top = cmdGetData.top + cmdGetData.height + 60;
    txtXML.width = fraXML.width - 120;
    txtXML.height = fraXML.height - cmdRead.height - 300;
    cmdRead.top = txtXML.top + txtXML.height + 120;
    cmdRead.left = txtXML.width - 2 * cmdRead.width;
    cmdWrite.top = cmdRead.top;
    cmdWrite.left = cmdRead.left + cmdWrite.width + 60;
    // The status bar runs along the bottom of the client area.
    sbarMain.top = outerHeight - kFrameHeight - sbarMain.height;
    sbarMain.width = outerWidth - kFrameWidth;
}

void MainLayout::snapToMinimum(int &outerWidth, int &outerHeight)
{
    if (outerWidth < kMinimumOuterSize)
        outerWidth = kMinimumOuterSize;
    if (outerHeight < kMinimumOuterSize)
        outerHeight = kMinimumOuterSize;
}

int twipsToPixels(int twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

int pixelsToTwips(int pixels, double dpi)
{
    return static_cast<int>(std::lround(pixels * 1440.0 / dpi));
}

} // namespace tarnwell
