// Opens pages written by dorvane-cli in Chromium and checks that each one shows
// exactly its title and its message.
//
//   node tests/browser/suite.mjs [--cli PATH]
//       Writes one page per row of CASES with the command-line program
//       (default: build/native/dorvane-cli under the repository root) and
//       checks every page.
//
//   node tests/browser/suite.mjs --page FILE --title-utf8-file T --message-utf8-file M
//       Checks one page written elsewhere (for instance by dorvane.exe under
//       Wine). T and M hold, as UTF-8, the title and the message the page must
//       show; characters without a code page 936 form must already appear as
//       they come out ('?'). The message's CR LF pairs are expected to show as
//       a line feed, as in the table.
//
// Every page is loaded twice, over file:// and from a loopback HTTP server
// that sends "Content-Type: text/html" without a charset, so that only the
// page's own <meta charset> can make the Chinese text come out right. For each
// load: exactly one alert and no page error, the alert text, document.title;
// and once per page the bytes (UTF-8, no BOM, no NUL, the fixed frame).
//
// Chromium is Debian's /usr/bin/chromium (CHROMIUM overrides it), driven by
// playwright-core from package-lock.json; one browser for the whole run, with
// the fresh profile folder playwright makes for it.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { accessSync, constants as fsConstants } from 'node:fs';
import { mkdir, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { parseArgs, promisify } from 'node:util';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const repoRoot = path.resolve(here, '..', '..');

const { values: opts } = parseArgs({
  options: {
    cli: { type: 'string', default: path.join(repoRoot, 'build', 'native', 'dorvane-cli') },
    page: { type: 'string' },
    'title-utf8-file': { type: 'string' },
    'message-utf8-file': { type: 'string' },
  },
  strict: true,
});

// ---------------------------------------------------------------------------
// The table. title/message are the texts as typed (strings, handed over as
// UTF-8), or Buffers of code page 936 bytes (handed over with --encoding
// cp936). shownTitle/shownMessage give what must appear when the texts pass
// through code page 936 with a loss; otherwise the typed text is expected.

const gbk = (...parts) =>
  Buffer.concat(parts.map((p) => (typeof p === 'string' ? Buffer.from(p, 'latin1') : Buffer.from(p))));

// About 1 MiB of UTF-8 that mixes everything the escaping touches.
const bigMessage = (() => {
  const unit = '第1行 "quoted" C:\\dir\\ <b>&amp;</b> ${x} `tick` 中文ＡＢ\r\n\tlone\rcr\nlf ';
  const target = 1 << 20;
  let s = unit.repeat(Math.ceil(target / Buffer.byteLength(unit)));
  while (Buffer.byteLength(s) > target) s = s.slice(0, -1);
  return s;
})();

const CASES = [
  { name: 'plain ASCII', title: 'Hello', message: 'Hello, world!' },
  { name: 'common Chinese', title: '提示', message: '文件已保存。你好，世界！' },
  { name: 'rare Chinese', title: '龘犇彧', message: '龘 犇 彧 嫑 槑 氼 囧 烎' },
  // U+3000 is not ASCII whitespace: the browser keeps it at the ends of the title.
  { name: 'full-width letters and spaces', title: '\u3000ＡＢＣ\u3000', message: 'Ａ１＂＜＞＼' },
  { name: 'empty title and message', title: '', message: '' },
  { name: 'double and single quotes', title: 'say "hi"', message: `He said "it's fine" and 'ok'` },
  { name: 'backslashes', title: 'path', message: 'C:\\new\\table\\ and \\\\server\\share\\' },
  { name: 'backslash before a quote', title: 't', message: 'end\\" still inside \\' },
  { name: 'script end tag', title: 't', message: 'a</script><script>alert("x")</script>b</SCRIPT >' },
  { name: 'comment openers and closers', title: 't', message: '<!-- --> <!--<script> x -->' },
  { name: 'template literal syntax', title: 't', message: '${x} `back` ${`nested ${y}`}' },
  { name: 'CR LF line breaks', title: 't', message: 'line 1\r\nline 2\r\nline 3' },
  { name: 'runs of CR LF', title: 't', message: '\r\n\r\nblank lines\r\n\r\n\r\n' },
  { name: 'lone CR', title: 't', message: 'one\rtwo\r' },
  { name: 'lone LF', title: 't', message: 'one\ntwo\n' },
  { name: 'mixed breaks: CR CR LF, LF CR, LF LF', title: 't', message: 'a\r\r\nb\n\rc\n\nd' },
  { name: 'tabs', title: '\tTab\t title\t', message: '\tcol1\tcol2\t' },
  { name: 'title whitespace collapses', title: '  two\r\n\r\nlines \t here  ', message: 'x' },
  {
    name: 'euro sign (0x80) directly before CR LF',
    encoding: 'cp936',
    title: gbk('\x80'),
    message: gbk('price 5\x80\r\nnext\x80\r\n\x80'),
    shownTitle: '€',
    shownMessage: 'price 5€\nnext€\n€',
  },
  {
    name: 'user-defined character U+E000 (0xAAA1)',
    title: '\uE000',
    message: 'pua \uE000 end',
  },
  {
    name: 'user-defined character from code page 936 bytes',
    encoding: 'cp936',
    title: gbk([0xaa, 0xa1]),
    message: gbk([0xaa, 0xa1, 0x0d, 0x0a, 0xfe, 0xfe]),
    shownTitle: '\uE000',
    shownMessage: '\uE000\n\uE4C5',
  },
  {
    // 0x5C ('\') is a valid trail byte: the pair is one character and its
    // second byte must not be escaped.
    name: 'Chinese whose second byte is a backslash',
    encoding: 'cp936',
    title: gbk([0x95, 0x5c, 0x3c]),
    message: gbk([0x95, 0x5c, 0x22, 0x95, 0x5c, 0x5c, 0x95, 0x5c]),
    shownTitle: '昞<',
    shownMessage: '昞"昞\\昞',
  },
  {
    // A lead byte without a trail byte becomes '?' and must not swallow the
    // quote, the '<' or the line break after it.
    name: 'lead bytes without a trail byte',
    encoding: 'cp936',
    title: gbk([0xd6, 0x3c, 0x81]),
    message: gbk([0x41, 0xd6, 0x22, 0x42, 0x81, 0x0d, 0x0a, 0x43, 0xb0, 0x5c]),
    shownTitle: '?<?',
    shownMessage: 'A?"B?\nC癨',
  },
  {
    name: 'characters outside code page 936',
    title: 'emoji 😀',
    message: 'ko 한 / ext-B 𠀀 / emoji 😀 / best fit £',
    shownTitle: 'emoji ??',
    shownMessage: 'ko ? / ext-B ?? / emoji ?? / best fit ￡',
  },
  {
    name: 'title with markup and entities',
    title: `</title><b>bold</b> &amp; &lt; "q" 'q' a>b`,
    message: 'x',
  },
  // An end tag needs no '>' of its own: the next '>' in the page closes it.
  { name: 'title with an end tag left open', title: 'before </title after', message: 'x' },
  { name: '1 MiB message', title: 'big', message: bigMessage },
];

// ---------------------------------------------------------------------------
// What the browser must show.

const crLfToLf = (s) => s.replace(/\r\n/g, '\n');
// document.title: ASCII whitespace stripped at the ends and collapsed inside.
const browserTitle = (s) => s.replace(/[\t\n\f\r ]+/g, ' ').replace(/^ | $/g, '');

// The fixed frame around the two texts.
const FRAME = new RegExp(
  '^' +
    escapeRe('<!DOCTYPE html>\r\n<html>\r\n\t<head>\r\n\t\t<meta charset="utf-8">\r\n\t\t<title>') +
    '([^]*)' +
    escapeRe('</title>\r\n\t</head>\r\n\t<body>\r\n\t\t<script>\r\n\t\t\talert("') +
    '([^]*)' +
    escapeRe('")\r\n\t\t</script>\r\n\t</body>\r\n</html>\r\n\r\n\r\n\r\n<!--ByKestrum QQ:') +
    '[0-9]+-->$',
);

function escapeRe(s) {
  return s.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
}

const MAX_SHOWN = 160;

// JSON text of both values, cut around the first difference when long.
function showDiff(label, expected, actual) {
  if (expected === actual) return null;
  let at = 0;
  while (at < expected.length && at < actual.length && expected[at] === actual[at]) at++;
  const cut = (s) => {
    if (s.length <= MAX_SHOWN) return JSON.stringify(s);
    const from = Math.max(0, at - 40);
    const part = s.slice(from, from + MAX_SHOWN);
    return `${from > 0 ? '…' : ''}${JSON.stringify(part)}… (length ${s.length})`;
  };
  return `${label} differs at index ${at}:\n    expected ${cut(expected)}\n    actual   ${cut(actual)}`;
}

// Problems with the page's bytes.
function checkBytes(bytes) {
  const problems = [];
  let text = null;
  try {
    text = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(bytes);
  } catch {
    problems.push('bytes are not valid UTF-8');
  }
  if (bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf) problems.push('starts with a byte-order mark');
  const nul = bytes.indexOf(0);
  if (nul >= 0) problems.push(`NUL byte at offset ${nul}`);
  if (!bytes.subarray(-3).equals(Buffer.from('-->'))) {
    problems.push(`does not end with "-->" (ends with ${JSON.stringify(bytes.subarray(-8).toString('latin1'))})`);
  }
  if (text !== null) {
    const m = FRAME.exec(text);
    if (!m) {
      problems.push('the page is not the fixed frame around a title and a message');
    } else {
      // Whatever the texts hold, no markup may start or end inside them.
      if (/[<>]/.test(m[1])) problems.push(`raw '<' or '>' inside <title>: ${JSON.stringify(m[1].slice(0, MAX_SHOWN))}`);
      if (/[<\r\n]/.test(m[2])) problems.push(`raw '<', CR or LF inside the script string`);
    }
  }
  return problems;
}

// The dialog event reports the text with every CR turned into LF and cut
// after some kilobytes, so the string handed to alert() is recorded as well
// and compared in full.
const RECORD_ALERTS = `{
  const shown = window.alert;
  window.__alertArguments = [];
  window.alert = function (message) {
    window.__alertArguments.push(String(message));
    return shown.apply(this, arguments);
  };
}`;

const asDialogShows = (s) => s.replace(/\r\n?/g, '\n');

// Loads url in a fresh page; returns the problems found.
async function checkLoad(context, url, expectedTitle, expectedMessage) {
  const page = await context.newPage();
  const dialogs = [];
  const errors = [];
  page.on('dialog', async (d) => {
    dialogs.push({ type: d.type(), message: d.message() });
    await d.accept().catch(() => {});
  });
  page.on('pageerror', (e) => errors.push(String(e)));
  const problems = [];
  try {
    await page.goto(url, { waitUntil: 'load' });
    const [title, args] = await page.evaluate(() => [document.title, window.__alertArguments]);
    if (dialogs.length !== 1 || dialogs[0].type !== 'alert') {
      problems.push(`expected exactly one alert, got ${JSON.stringify(dialogs.map((d) => d.type))}`);
    }
    if (errors.length) problems.push(`page errors: ${errors.map((e) => JSON.stringify(e)).join(', ')}`);
    if (args.length === 1) {
      const d = showDiff('alert text', expectedMessage, args[0]);
      if (d) problems.push(d);
    }
    if (dialogs.length === 1) {
      const shown = dialogs[0].message;
      const want = asDialogShows(expectedMessage);
      const cutShort = shown.length < want.length && shown.length >= 4096 && want.startsWith(shown);
      const d = cutShort ? null : showDiff('text in the dialog', want, shown);
      if (d) problems.push(d);
    }
    const t = showDiff('document.title', expectedTitle, title);
    if (t) problems.push(t);
  } finally {
    await page.close();
  }
  return problems;
}

// ---------------------------------------------------------------------------
// The browser and the loopback server, shared by all cases.

let browser;
let context;
let server;
let baseUrl;
let workDir;
const served = new Map(); // URL path -> file

before(async () => {
  workDir = await mkdtemp(path.join(os.tmpdir(), 'dorvane-browser-'));
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
  context = await browser.newContext();
  await context.addInitScript(RECORD_ALERTS);
  server = http.createServer(async (req, res) => {
    const file = served.get(new URL(req.url, 'http://x').pathname);
    if (!file) {
      res.writeHead(404).end();
      return;
    }
    const body = await readFile(file);
    // No charset here: the page's <meta charset> must decide.
    res.writeHead(200, { 'Content-Type': 'text/html', 'Content-Length': body.length });
    res.end(body);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  baseUrl = `http://127.0.0.1:${server.address().port}`;
});

after(async () => {
  await browser?.close();
  await new Promise((resolve) => (server ? server.close(resolve) : resolve()));
  if (workDir) await rm(workDir, { recursive: true, force: true });
});

// Runs the byte checks and both loads for one page file.
async function checkPage(id, file, expectedTitle, expectedMessage) {
  const bytes = await readFile(file);
  const problems = checkBytes(bytes).map((p) => `bytes: ${p}`);
  served.set(`/${id}.html`, file);
  for (const [how, url] of [
    ['file://', pathToFileURL(file).href],
    ['http', `${baseUrl}/${id}.html`],
  ]) {
    for (const p of await checkLoad(context, url, expectedTitle, expectedMessage)) problems.push(`${how}: ${p}`);
  }
  return problems;
}

function report(name, problems) {
  if (problems.length) assert.fail(`case "${name}":\n  ${problems.join('\n  ')}`);
}

const run = promisify(execFile);

async function generate(c, dir) {
  const asBytes = (v) => (typeof v === 'string' ? Buffer.from(v, 'utf8') : v);
  const titleFile = path.join(dir, 'title.txt');
  const messageFile = path.join(dir, 'message.txt');
  const out = path.join(dir, 'page.html');
  await writeFile(titleFile, asBytes(c.title));
  await writeFile(messageFile, asBytes(c.message));
  const args = ['--title-file', titleFile, '--message-file', messageFile, '--out', out];
  if (c.encoding) args.push('--encoding', c.encoding);
  try {
    await run(opts.cli, args, { maxBuffer: 1 << 20 });
  } catch (e) {
    assert.fail(`case "${c.name}": ${opts.cli} failed (exit ${e.code}): ${e.stderr}`);
  }
  return out;
}

if (opts.page) {
  const needed = ['title-utf8-file', 'message-utf8-file'].filter((k) => !opts[k]);
  if (needed.length) {
    console.error(`--page needs --${needed.join(' and --')}`);
    process.exit(64);
  }
  const utf8 = (f) => readFile(f).then((b) => new TextDecoder('utf-8', { fatal: true }).decode(b));
  test(`page ${opts.page}`, async () => {
    const title = await utf8(opts['title-utf8-file']);
    const message = await utf8(opts['message-utf8-file']);
    report(opts.page, await checkPage('page', path.resolve(opts.page), browserTitle(title), crLfToLf(message)));
  });
} else {
  try {
    accessSync(opts.cli, fsConstants.X_OK);
  } catch {
    console.error(`no program at ${opts.cli}: build it (cmake --build --preset native) or pass --cli PATH`);
    process.exit(64);
  }
  // Pages are independent; a few at a time keep the browser busy.
  describe(`pages written by ${path.relative(process.cwd(), opts.cli) || opts.cli}`, { concurrency: 4 }, () => {
    CASES.forEach((c, i) => {
      test(c.name, async () => {
        const dir = path.join(workDir, `case${i}`);
        await mkdir(dir);
        const file = await generate(c, dir);
        const shownTitle = c.shownTitle ?? c.title;
        const shownMessage = c.shownMessage ?? c.message;
        report(c.name, await checkPage(`case${i}`, file, browserTitle(shownTitle), crLfToLf(shownMessage)));
      });
    });
  });
}
