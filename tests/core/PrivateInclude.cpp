// A file above the media layer that reaches for one of its internal headers. It must not build:
// a layer's internal headers are seen by that layer alone (core.PrivateIncludeFails).

#include "TextureDetail.h"
