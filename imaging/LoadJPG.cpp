#include "imaging/LoadJPG.h"

#include "imaging/JpegDecoder.h"
#include "imaging/cDIBSection.h"
#include "platform/Dialogs.h"
#include "platform/FileNames.h"

void imaging::reportDecoderStartFailure(QWidget* parent, int code)
{
    platform::dialogs().messageBox(
        parent, QStringLiteral("Failed to initialise the IJL library: ") + QString::number(code),
        platform::MessageIcon::Exclamation);
}

bool LoadJPGWith(imaging::JpegDecoder& decoder, cDIBSection& cDib, const QString& sFile)
{
    const imaging::JpegDecoder::Result result = decoder.decode(cDib, platform::encodeName(sFile));
    if (result.status == imaging::JpegDecoder::Status::StartFailed)
        imaging::reportDecoderStartFailure(nullptr, result.startErrorCode);
    return result.decoded();
}

bool LoadJPG(cDIBSection& cDib, const QString& sFile)
{
    imaging::JpegDecoder decoder;
    return LoadJPGWith(decoder, cDib, sFile);
}
