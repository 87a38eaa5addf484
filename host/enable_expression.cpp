// enable_expression.cpp -- a recursive-descent evaluator of enable expressions.
#include "host/enable_expression.h"

#include <cctype>
#include <cstring>

// Mode names by host mode number.
static const char *const kModeNames[] = {
    "BitmapMode",       "GrayScaleMode", "IndexedMode",          "RGBMode",          "CMYKMode",
    "HSLMode",          "HSBMode",       "MultichannelMode",     "DuotoneMode",      "LabMode",
    "Gray16Mode",       "RGB48Mode",     "Lab48Mode",            "CMYK64Mode",       "DeepMultichannelMode",
    "Duotone16Mode",    "RGB96Mode",     "Gray32Mode",
};
constexpr int32_t kModeNameCount = int32_t(sizeof kModeNames / sizeof kModeNames[0]);

const char *ImageModeName(int32_t imageMode) {
  return imageMode >= 0 && imageMode < kModeNameCount ? kModeNames[imageMode] : nullptr;
}

// The parser's state: the text, the position, the document, and whether an error was met.
// Every routine returns a value and leaves `bad` set on error; callers stop at the end.
struct EnableParser {
  const char *at;
  int32_t imageMode;
  int32_t depth;
  int32_t nesting;   // parentheses and negations open; bounded so that no input can exhaust the stack
  bool bad;
};

constexpr int32_t kMaxNesting = 64;

static bool Enter(EnableParser *p) {
  if (++p->nesting > kMaxNesting) p->bad = true;
  return !p->bad;
}

static void SkipSpace(EnableParser *p) {
  while (*p->at != 0 && std::isspace(static_cast<unsigned char>(*p->at))) p->at++;
}

// Consumes `token` when it comes next.
static bool Accept(EnableParser *p, const char *token) {
  SkipSpace(p);
  size_t n = std::strlen(token);
  if (std::strncmp(p->at, token, n) != 0) return false;
  // A word must not run on into a longer identifier ("in" against "index").
  if (std::isalpha(static_cast<unsigned char>(token[0])) &&
      (std::isalnum(static_cast<unsigned char>(p->at[n])) || p->at[n] == '_'))
    return false;
  p->at += n;
  return true;
}

static int64_t ParseExpr(EnableParser *p);

static int64_t ParseValue(EnableParser *p) {
  SkipSpace(p);
  const char *start = p->at;
  if (std::isdigit(static_cast<unsigned char>(*start))) {
    int64_t v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p->at))) {
      v = v * 10 + (*p->at - '0');
      if (v > 0x7FFFFFFF) {
        p->bad = true;
        return 0;
      }
      p->at++;
    }
    return v;
  }
  while (std::isalnum(static_cast<unsigned char>(*p->at)) || *p->at == '_') p->at++;
  size_t n = size_t(p->at - start);
  if (n == 0) {
    p->bad = true;
    return 0;
  }
  auto is = [&](const char *name) { return std::strlen(name) == n && std::strncmp(start, name, n) == 0; };
  if (is("PSHOP_ImageMode")) return p->imageMode;
  if (is("PSHOP_ImageDepth")) return p->depth;
  if (is("true")) return 1;
  if (is("false")) return 0;
  for (int32_t m = 0; m < kModeNameCount; m++)
    if (is(kModeNames[m])) return m;
  p->bad = true;
  return 0;
}

static int64_t ParsePrimary(EnableParser *p) {
  if (Accept(p, "in")) {
    if (!Accept(p, "(")) {
      p->bad = true;
      return 0;
    }
    int64_t subject = ParseValue(p);
    bool found = false;
    while (!p->bad && Accept(p, ",")) found = (ParseValue(p) == subject) || found;
    if (!Accept(p, ")")) p->bad = true;
    return found ? 1 : 0;
  }
  if (Accept(p, "(")) {
    if (!Enter(p)) return 0;
    int64_t v = ParseExpr(p);
    if (!Accept(p, ")")) p->bad = true;
    p->nesting--;
    return v;
  }
  return ParseValue(p);
}

static int64_t ParseCompare(EnableParser *p) {
  int64_t left = ParsePrimary(p);
  if (Accept(p, "==")) return left == ParsePrimary(p) ? 1 : 0;
  if (Accept(p, "!=")) return left != ParsePrimary(p) ? 1 : 0;
  return left;
}

static int64_t ParseUnary(EnableParser *p) {
  if (Accept(p, "!=")) {   // not a negation: let the caller see the stray token
    p->bad = true;
    return 0;
  }
  if (Accept(p, "!")) {
    if (!Enter(p)) return 0;
    int64_t v = ParseUnary(p) == 0 ? 1 : 0;
    p->nesting--;
    return v;
  }
  return ParseCompare(p);
}

static int64_t ParseAnd(EnableParser *p) {
  int64_t v = ParseUnary(p) != 0;
  while (!p->bad && Accept(p, "&&")) v = (ParseUnary(p) != 0) && v;
  return v;
}

static int64_t ParseExpr(EnableParser *p) {
  int64_t v = ParseAnd(p);
  while (!p->bad && Accept(p, "||")) v = (ParseAnd(p) != 0) || v;
  return v;
}

EnableResult EvaluateEnableExpression(const char *expression, int32_t imageMode, int32_t depth) {
  if (expression == nullptr) return kEnableUnreadable;
  EnableParser p = {expression, imageMode, depth, 0, false};
  int64_t v = ParseExpr(&p);
  SkipSpace(&p);
  if (p.bad || *p.at != 0) return kEnableUnreadable;
  return v != 0 ? kEnableYes : kEnableNo;
}
