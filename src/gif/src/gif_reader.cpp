// Placeholder until the stream reader lands: loading is refused.
#include "gif/gif_image.h"

namespace clipsmith {

void TGIFImage::LoadFromStream(TStream&) { throw GIFException(gifmsg::sInvalidStream); }
void TGIFHeader::LoadFromStream(TStream&) { throw GIFException(gifmsg::sInvalidStream); }
void TGIFFrame::LoadFromStream(TStream&) { throw GIFException(gifmsg::sInvalidStream); }
void TGIFImageList::LoadFromStream(TStream&, TGIFImage*) { throw GIFException(gifmsg::sInvalidStream); }
void TGIFTrailer::LoadFromStream(TStream&) { throw GIFException(gifmsg::sInvalidStream); }
void TGIFColorMap::LoadFromStream(TStream&, int) { throw GIFException(gifmsg::sInvalidStream); }

}  // namespace clipsmith
