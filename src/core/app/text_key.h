// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A user-visible text is named by its file and key: ftext k or itext k.
namespace nyra {

struct TextKey {
    enum class File : unsigned char { Ftext, Itext };
    File file;
    int key;

    friend constexpr bool operator==(TextKey, TextKey) = default;
};

constexpr TextKey ftext(int key) {
    return {TextKey::File::Ftext, key};
}
constexpr TextKey itext(int key) {
    return {TextKey::File::Itext, key};
}

}  // namespace nyra
