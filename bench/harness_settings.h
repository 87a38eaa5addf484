// harness_settings.h -- "name=value" settings of the parameter block for the harness programs
// (render_planet, the benchmark) and the tests: the sliders and check boxes by their field
// names, plus the light and axis vectors ("light=x,y,z", "axis=x,y,z").
#ifndef KIVAGLOBE_BENCH_HARNESS_SETTINGS_H
#define KIVAGLOBE_BENCH_HARNESS_SETTINGS_H

#include "plugin/parameters.h"

// Applies one "name=value" setting; false for an unknown name or a malformed value.
bool ApplyHarnessSetting(ParameterBlock *p, const char *setting);

// The names ApplyHarnessSetting knows, null-terminated.
extern const char *const kHarnessSettingNames[];

#endif  // KIVAGLOBE_BENCH_HARNESS_SETTINGS_H
