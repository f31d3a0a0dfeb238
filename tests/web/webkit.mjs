// WebKitGTK's MiniBrowser driven through WebKitWebDriver's HTTP interface (W3C WebDriver), for the
// WebKit test and the measurements. Needs an X display (Xvfb) in DISPLAY.
import {spawn} from 'node:child_process';
import {createServer} from 'node:net';

const MINIBROWSER = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';

async function freePort() {
  const server = createServer();
  await new Promise(resolve => server.listen(0, '127.0.0.1', resolve));
  const {port} = server.address();
  await new Promise(resolve => server.close(resolve));
  return port;
}

// A session in a new MiniBrowser window of the given size; close() ends both.
export async function openWebKit({width = 800, height = 600} = {}) {
  const port = Number(process.env.WEBDRIVER_PORT) || await freePort();
  const driver = spawn('WebKitWebDriver', [`--port=${port}`], {stdio: 'ignore'});
  const base = `http://127.0.0.1:${port}`;
  const call = async (method, path, body) => {
    const response = await fetch(base + path, {method, headers: {'content-type': 'application/json'},
      body: body === undefined ? undefined : JSON.stringify(body)});
    const reply = await response.json();
    if (!response.ok) throw new Error(`${method} ${path}: ${reply.value?.message || response.status}`);
    return reply.value;
  };
  for (let tries = 0; ; ++tries) {
    try {
      await call('GET', '/status');
      break;
    } catch (e) {
      if (tries > 100) throw new Error('WebKitWebDriver did not start');
      await new Promise(resolve => setTimeout(resolve, 100));
    }
  }
  const {sessionId} = await call('POST', '/session', {capabilities: {alwaysMatch: {
    'webkitgtk:browserOptions': {binary: MINIBROWSER, args: ['--automation']}}}});
  const session = `/session/${sessionId}`;
  const browser = {
    goto: url => call('POST', `${session}/url`, {url}),
    // Runs `f` (a function, or the text of one) in the page with args; its value back.
    evaluate: (f, ...args) => call('POST', `${session}/execute/sync`,
      {script: `return (${f.toString()})(...arguments)`, args}),
    // Holds a key down for holdMs; keys as WebDriver codes ('\uE009' is Control).
    key: (value, holdMs = 120) => call('POST', `${session}/actions`, {actions: [{type: 'key', id: 'keyboard',
      actions: [{type: 'keyDown', value}, {type: 'pause', duration: holdMs}, {type: 'keyUp', value}]}]}),
    click: (x, y) => call('POST', `${session}/actions`, {actions: [{type: 'pointer', id: 'mouse',
      parameters: {pointerType: 'mouse'}, actions: [{type: 'pointerMove', x, y}, {type: 'pointerDown', button: 0},
        {type: 'pointerUp', button: 0}]}]}),
    screenshot: () => call('GET', `${session}/screenshot`),
    close: async () => {
      await call('DELETE', session).catch(() => {});
      driver.kill();
    },
  };
  // The page's own area is made width x height: the window's rectangle includes its bars.
  await call('POST', `${session}/window/rect`, {width, height}).catch(() => {});
  const inner = await browser.evaluate(() => [innerWidth, innerHeight]);
  await call('POST', `${session}/window/rect`, {width: 2 * width - inner[0], height: 2 * height - inner[1]}).catch(() => {});
  return browser;
}
