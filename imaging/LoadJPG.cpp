#include "imaging/LoadJPG.h"

#include "imaging/JpegDecoder.h"
#include "imaging/cDIBSection.h"
#include "platform/Dialogs.h"
#include "platform/FileNames.h"

bool LoadJPGWith(imaging::JpegDecoder& decoder, cDIBSection& cDib, const QString& sFile)
{
    const imaging::JpegDecoder::Result result = decoder.decode(cDib, platform::encodeName(sFile));
    if (result.status == imaging::JpegDecoder::Status::StartFailed) {
        platform::dialogs().messageBox(nullptr,
                                       QStringLiteral("Failed to initialise the IJL library: ")
                                           + QString::number(result.startErrorCode),
                                       platform::MessageIcon::Exclamation);
    }
    return result.decoded();
}

bool LoadJPG(cDIBSection& cDib, const QString& sFile)
{
    imaging::JpegDecoder decoder;
    return LoadJPGWith(decoder, cDib, sFile);
}
