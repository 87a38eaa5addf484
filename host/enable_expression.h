// enable_expression.h -- evaluating a property list's enable expression for a document.
//
// The expression decides in which documents the host enables a filter. The host understands
// the small language such expressions are written in:
//
//     expr    := and ('||' and)*
//     and     := unary ('&&' unary)*
//     unary   := '!' unary | compare
//     compare := primary (('==' | '!=') primary)?
//     primary := 'in' '(' value (',' value)* ')'    true when the first value equals another
//              | '(' expr ')' | value
//     value   := PSHOP_ImageMode | PSHOP_ImageDepth | a mode name (RGBMode, Gray16Mode, ...)
//              | an integer | true | false
//
// Anything else (an unknown name, a stray token) makes the expression unreadable, and the
// host then refuses the plug-in rather than guess.
#ifndef KIVAGLOBE_HOST_ENABLE_EXPRESSION_H
#define KIVAGLOBE_HOST_ENABLE_EXPRESSION_H

#include <cstdint>

enum EnableResult : int32_t {
  kEnableNo = 0,
  kEnableYes = 1,
  kEnableUnreadable = -1,
};

// Evaluates `expression` for a document of `imageMode` (host numbering) and `depth` bits.
EnableResult EvaluateEnableExpression(const char *expression, int32_t imageMode, int32_t depth);

// The interface's name of an image mode ("RGBMode"), or null for an unknown mode.
const char *ImageModeName(int32_t imageMode);

#endif  // KIVAGLOBE_HOST_ENABLE_EXPRESSION_H
