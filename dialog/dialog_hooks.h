// dialog_hooks.h -- what the main dialog hands on to the commands, memory dots, pickers and
// progress boxes that are built beside it, and the busy flags they set.
//
// The main dialog offers every click to the command handlers in a fixed order; the handlers
// live with their own subsystems and are reached through this table, so that the dialog does
// not depend on them. A null entry is skipped: the dialog then runs without that command.
#ifndef KIVAGLOBE_DIALOG_DIALOG_HOOKS_H
#define KIVAGLOBE_DIALOG_DIALOG_HOOKS_H

#include <cstdint>

struct PluginGlobals;

typedef void (*DialogCommandProc)(PluginGlobals *globals, void *dialog, int id, bool *changed);

struct DialogHooks {
  // In the order the dialog offers a click to them (after the swatches and the zoom buttons).
  DialogCommandProc handleFileCommands;   // save, load, layers, gallery, memory dots
  DialogCommandProc handleUndo;
  DialogCommandProc handleDice;
  DialogCommandProc handleRandomSeed;
  DialogCommandProc handleDefaults;
  // The cloud chooser: true when the user chose a source (the cloud header says whether a
  // picture was loaded).
  bool (*runCloudChooser)(PluginGlobals *globals);
  // The colour picker; true when the user accepted a colour. Null: the dialog's own picker.
  bool (*pickColor)(PluginGlobals *globals, const char *prompt, uint16_t rgb[3]);
  // The memory dots: slots set up when the dialog opens, the settings stored as a dot at its
  // end of opening, the dot under a hovering pointer, and a dot's painter.
  void (*initMemoryDots)(PluginGlobals *globals, void *dialog);
  void (*addMemoryDot)(PluginGlobals *globals, void *dialog);
  void (*hoverMemoryDot)(PluginGlobals *globals, void *dialog, int32_t x, int32_t y);
  void (*paintMemoryDot)(PluginGlobals *globals, void *dialog, void *context, int id, int32_t value);
};

extern DialogHooks gDialogHooks;

// A file dialog or a long job's progress box is open over the main dialog: OK and Cancel are
// ignored meanwhile, so the dialog cannot end under a running command.
extern bool gFileDialogOpen;
extern bool gProgressBoxOpen;

#endif  // KIVAGLOBE_DIALOG_DIALOG_HOOKS_H
