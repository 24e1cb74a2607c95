// The identities the DLL is known by: its two classes, the container format of m32
// textures for Windows' imaging component, and the vendor of the decoder.
#pragma once

#include <guiddef.h>

namespace shell {

// The thumbnail provider Explorer runs on a .m32 file: {CB538A91-02D2-4D8B-8D4B-67C595C72216}
inline constexpr CLSID kThumbnailProviderClsid{
    0xcb538a91, 0x02d2, 0x4d8b, {0x8d, 0x4b, 0x67, 0xc5, 0x95, 0xc7, 0x22, 0x16}};
// The decoder of Windows' imaging component: {7558F70C-CFA8-49AA-8276-0A811138D934}
inline constexpr CLSID kDecoderClsid{0x7558f70c, 0xcfa8, 0x49aa, {0x82, 0x76, 0x0a, 0x81, 0x11, 0x38, 0xd9, 0x34}};
// What the decoder reports as its container format: {51A403CA-FDE1-48A6-86A4-8644B77B1DF7}
inline constexpr GUID kM32ContainerFormat{0x51a403ca, 0xfde1, 0x48a6, {0x86, 0xa4, 0x86, 0x44, 0xb7, 0x7b, 0x1d, 0xf7}};
// The vendor the decoder names (its authors): {1F7A8368-2453-4AC0-B9D4-17034C016178}
inline constexpr GUID kPellicarVendor{0x1f7a8368, 0x2453, 0x4ac0, {0xb9, 0xd4, 0x17, 0x03, 0x4c, 0x01, 0x61, 0x78}};

}  // namespace shell
