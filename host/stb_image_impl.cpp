// stb_image_impl.cpp -- the one translation unit that holds stb_image's code (PNG and JPEG
// only: the host reads nothing else).
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_FAILURE_STRINGS
#include "stb_image.h"
