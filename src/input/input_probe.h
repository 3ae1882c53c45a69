#pragma once
// Probes a file the way the input list does when a file is added: the row's
// texts and hidden fields, and the thumbnail from the middle of the video.
#include "convert_list.h"
#include "ff_bitmap.h"
#include "input_row.h"

#include <string>

class TCustomDecoder;
class TFFDecoder;

enum TThumbnailKind {
    tkPicture,    // the decoded picture
    tkAudioIcon,  // no video stream: the page's audio icon
    tkEmpty,      // the video could not be decoded: an empty picture
};

struct TProbedFile {
    TInputRow Row;
    TThumbnailKind Thumbnail = tkEmpty;
    TFFBitmap Picture;  // set for tkPicture
};

// Opens the file with the probe (no forced format), makes the thumbnail
// (unless told not to), reads the stream facts and closes the file again.
// False with the probe's LastErrorMessage when the file cannot be opened.
bool ProbeInputFile(TFFDecoder& decoder, const std::string& fileName, TProbedFile& probed,
                    bool withThumbnail = true);

