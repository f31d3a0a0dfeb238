// What the browser scripts share: how Chromium is started, and the tally of checks.
export const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// check(name, ok, detail) prints one line and counts it; counts holds the totals for the closing line.
export function tally() {
  const counts = {passed: 0, failed: 0};
  const check = (name, ok, detail) => {
    if (ok) ++counts.passed; else ++counts.failed;
    console.log(`${ok ? 'pass' : 'FAIL'}: ${name}${detail === undefined ? '' : ` (${detail})`}`);
    return ok;
  };
  return {check, counts};
}
