#pragma once
// The credit lines of the attract pages: fixed places, counted characters, lower-case letters, digits and spaces.
struct CreditLine {
    int x, y;
    int row;            // colour row of the font sheet
    const char* text;
};
constexpr int TITLE_CREDIT_COUNT = 3, CREDITS_PAGE_COUNT = 5;
extern const CreditLine titleCredits[TITLE_CREDIT_COUNT];   // under the logo on the title page
extern const CreditLine creditsPage[CREDITS_PAGE_COUNT];    // the whole credits page
