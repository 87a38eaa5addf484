// pipl_check.h -- checks a property list, byte for byte where it matters, against the layout
// and values of plugin/pipl_layout.h; used on the generated files and on the DLLs' resources.
#ifndef KIVAGLOBE_TESTS_PLUGIN_PIPL_CHECK_H
#define KIVAGLOBE_TESTS_PLUGIN_PIPL_CHECK_H

#include <cstddef>
#include <cstdint>

// Checks (with GoogleTest expectations) Kivaglobe's property list of the given width, 64 or 32.
void CheckPropertyList(const uint8_t *list, size_t size, int width);

#endif  // KIVAGLOBE_TESTS_PLUGIN_PIPL_CHECK_H
