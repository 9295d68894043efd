#pragma once
// The page, its script and its style sheet, served by the program itself: the dashboard
// loads nothing from elsewhere. The page holds no record text; the script puts every text
// from the records into the page as text, never as markup.

namespace vantrel::dashboard {

extern const char* const kIndexHtml;
extern const char* const kAppJs;
extern const char* const kStyleCss;

}  // namespace vantrel::dashboard
