// The bundler (build/tools/kinloom-bundle): refusals with their messages, and what a good bundle contains.
// Each case writes a small fixture into a temporary folder and runs the bundler there, as the Makefile
// runs it from the repository root.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import vm from 'node:vm';

const ROOT = path.resolve(import.meta.dirname, '../..');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kinloom-bundler-'));
let bundler = process.env.KINLOOM_BUNDLE || path.join(ROOT, 'build/tools/kinloom-bundle');

// Builds the bundler into the scratch folder when no built one is around.
before(() => {
  if (fs.existsSync(bundler)) return;
  const out = path.join(scratch, 'tools');
  for (const args of [['-S', path.join(ROOT, 'tools'), '-B', out, '-G', 'Ninja', '-DCMAKE_BUILD_TYPE=Release'],
    ['--build', out, '--target', 'kinloom-bundle']]) {
    const r = spawnSync('cmake', args, { encoding: 'utf8' });
    if (r.status !== 0) throw new Error(`kinloom-bundle is not built and cmake failed:\n${r.stdout}${r.stderr}`);
  }
  bundler = path.join(out, 'kinloom-bundle');
});
after(() => fs.rmSync(scratch, { recursive: true, force: true }));

const PAGE = `<!doctype html>
<html><head><meta charset="utf-8">
<!--kinloom:csp-->
<title>Fixture</title>
<!--kinloom:styles-->
</head><body>
<!--kinloom:scripts-->
</body></html>
`;
const GIF = Buffer.from('GIF89a\x01\x00\x01\x00\x00\xff\x00,', 'latin1');

let runs = 0;
// Writes files (path -> text or Buffer) and bundle.list into a fresh folder and runs the bundler there.
function bundle(files, listLines) {
  const dir = path.join(scratch, `run-${++runs}`);
  for (const [name, content] of Object.entries({ ...files, 'bundle.list': listLines.join('\n') + '\n' })) {
    fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
    fs.writeFileSync(path.join(dir, name), content);
  }
  const r = spawnSync(bundler, ['bundle.list', 'dist/Kinloom.html'], { cwd: dir, encoding: 'utf8' });
  const output = path.join(dir, 'dist/Kinloom.html');
  const scriptsDir = path.join(dir, 'build/document');
  return {
    status: r.status,
    stderr: r.stderr,
    html: fs.existsSync(output) ? fs.readFileSync(output, 'utf8') : null,
    scriptFiles: fs.existsSync(scriptsDir)
      ? Object.fromEntries(fs.readdirSync(scriptsDir).map(f => [f, fs.readFileSync(path.join(scriptsDir, f), 'utf8')]))
      : {},
  };
}

const scriptsOf = html => [...html.matchAll(/<script>([\s\S]*?)<\/script>/g)].map(m => m[1]);
const policyOf = html => html.match(/<meta http-equiv="Content-Security-Policy" content="([^"]*)">/)[1];
const sha256 = text => createHash('sha256').update(text, 'utf8').digest('base64');

// --- refusals ---------------------------------------------------------------------------------------------

const MINIMAL = {
  'app/page.html': PAGE,
  'app/a.js': '// The first script.\nfunction show(x) {\n  return x;\n}\n',
};
const MINIMAL_LIST = ['page app/page.html', 'script main app/a.js'];

test('the minimal fixture of the refusal cases builds', () => {
  const r = bundle(MINIMAL, MINIMAL_LIST);
  assert.equal(r.stderr, '');
  assert.equal(r.status, 0);
});

// [case, extra files, extra list lines, expected message]; the page may be replaced through extra files.
const refusals = [
  ['duplicate function',
    { 'app/b.js': 'let x = 1;\nfunction show(y) {\n  return y;\n}\n' }, ['script main app/b.js'],
    'app/b.js:2: show is already defined at app/a.js:2'],
  ['duplicate let across script elements',
    { 'app/b.js': 'let count = 0;\n', 'app/c.js': '/* other element */\nlet count = 1;\n' },
    ['script main app/b.js', 'script late app/c.js'],
    'app/c.js:2: count is already defined at app/b.js:1'],
  ['const after a function of that name',
    { 'app/b.js': 'const show = 1;\n' }, ['script main app/b.js'],
    'app/b.js:1: show is already defined at app/a.js:2'],
  ['later name of a comma list',
    { 'app/b.js': 'let a = f(1, [2, 3]), b = { c: 4, d: 5 }, e = /x,y/g, last;\n', 'app/c.js': 'var last = 2;\n' },
    ['script main app/b.js', 'script main app/c.js'],
    'app/c.js:1: last is already defined at app/b.js:1'],
  ['name bound by destructuring',
    { 'app/b.js': 'const { alpha, beta: renamed = 2 } = CONFIG;\n', 'app/c.js': 'let renamed;\n' },
    ['script main app/b.js', 'script main app/c.js'],
    'app/c.js:1: renamed is already defined at app/b.js:1'],
  ['async and generator functions',
    { 'app/b.js': 'async function load() {}\nfunction* load() {}\n' }, ['script main app/b.js'],
    'app/b.js:2: load is already defined at app/b.js:1'],
  ['reassignment without wrap',
    { 'app/b.js': 'show = (old => x => old(x) + 1)(show);\n' }, ['script main app/b.js'],
    'app/b.js:1: show reassigns the function defined at app/a.js:2; list "wrap show" in bundle.list if it wraps it on purpose'],
  ['stale wrap', {}, ['', 'wrap show'],
    'bundle.list:4: wrap show: show is never reassigned (stale entry)'],
  ['wrap of a name that is no function',
    { 'app/b.js': 'let mode = 1;\nmode = 2;\n' }, ['script main app/b.js', 'wrap mode'],
    'bundle.list:4: wrap mode: no function mode is declared'],
  ['wrap with a second function declaration',
    { 'app/b.js': 'function show(x) {\n  return x + 1;\n}\nshow = (old => x => old(x))(show);\n' },
    ['script main app/b.js', 'wrap show'],
    'app/b.js:1: show is already defined at app/a.js:2; wrap show allows only a reassignment "show = ...", not a second function declaration (hoisting would replace the first before it could be wrapped)'],
  ['wrap placed before the function it wraps',
    { 'app/b.js': 'hide = (old => () => old())(hide);\n', 'app/c.js': 'function hide() {}\n' },
    ['script early app/b.js', 'script late app/c.js', 'wrap hide'],
    'app/b.js:1: hide is reassigned before its function is declared at app/c.js:1; a wrap must follow the function it wraps'],
  ['reassigned constant',
    { 'app/b.js': 'const LIMIT = 3;\nLIMIT = 4;\n' }, ['script main app/b.js'],
    'app/b.js:2: LIMIT is a constant declared at app/b.js:1'],
  ['unknown asset',
    { 'app/b.js': 'const ICON = "{{asset:nope}}";\n' }, ['script main app/b.js'],
    'app/b.js:1: unknown asset nope'],
  ['unused asset', { 'app/dot.gif': GIF }, ['asset dot image/gif app/dot.gif'],
    'bundle.list:3: asset dot is never used'],
  ['missing marker', { 'app/page.html': PAGE.replace('<!--kinloom:scripts-->', '') }, [],
    'app/page.html: missing marker <!--kinloom:scripts-->'],
  ['marker twice', { 'app/page.html': PAGE.replace('<title>', '<!--kinloom:styles--><title>') }, [],
    'app/page.html:5: marker <!--kinloom:styles--> appears again (first at line 4)'],
  ['policy marker in the body',
    { 'app/page.html': PAGE.replace('<!--kinloom:csp-->\n', '').replace('<body>', '<body><!--kinloom:csp-->') }, [],
    'app/page.html:5: <!--kinloom:csp--> must be inside <head>'],
  ['page without a UTF-8 declaration', { 'app/page.html': PAGE.replace('<meta charset="utf-8">', '') }, [],
    'app/page.html: the page needs <meta charset="utf-8"> within its first 1024 bytes'],
  ['style sheet holding </style',
    { 'app/a.css': 'p::after { content: "</style>"; }\n' }, ['style app/a.css'],
    'app/a.css:1: </style would end the style element early'],
  ['script group reused after another group',
    { 'app/b.js': 'let b = 1;\n', 'app/c.js': 'let c = 1;\n' }, ['script other app/b.js', 'script main app/c.js'],
    'bundle.list:4: script group main was closed by another group; its files must be consecutive (first at line 2)'],
  ['file listed twice', {}, ['script main app/a.js'], 'bundle.list:3: app/a.js is already listed at bundle.list:2'],
  ['missing file', {}, ['script main app/missing.js'], 'bundle.list:3: cannot read app/missing.js'],
  ['unknown directive', {}, ['scripts main app/a.js'], 'bundle.list:3: unknown directive scripts'],
  ['directive with a missing word', {}, ['asset dot app/dot.gif'], 'bundle.list:3: expected "asset NAME MIME FILE"'],
  ['script that is not UTF-8', { 'app/b.js': Buffer.from('let x = "\xe9";\n', 'latin1') }, ['script main app/b.js'],
    'app/b.js:1: not UTF-8 text'],
];
for (const [name, files, lines, message] of refusals) {
  test(`refuses: ${name}`, () => {
    const r = bundle({ ...MINIMAL, ...files }, [...MINIMAL_LIST, ...lines]);
    assert.ok(r.stderr.includes(`kinloom-bundle: ${message}`), `expected "${message}" in:\n${r.stderr}`);
    assert.equal(r.status, 1);
    assert.equal(r.html, null, 'no document is written on error');
  });
}

// Loads from outside the document: [case, file, text, expected message].
const withPage = body => PAGE.replace('<body>', `<body>\n${body}`);
const externalLoads = [
  ['stylesheet link', 'app/page.html', withPage('<link rel="stylesheet" href="https://cdn.example/x.css">'),
    'app/page.html:7: <link> loads from outside the document'],
  ['script element in the page', 'app/page.html', withPage('<script src="x.js"></script>'),
    'app/page.html:7: <script> in the page; list scripts in the bundle list'],
  ['image from the network', 'app/page.html', withPage("<img alt='' src='http://example.org/a.png'>"),
    'app/page.html:7: src="http://example.org/a.png" loads from outside the document'],
  ['image next to the document', 'app/page.html', withPage('<img alt="" src=portrait.png>'),
    'app/page.html:7: src="portrait.png" loads from outside the document'],
  ['inline event handler', 'app/page.html', withPage('<button\n  onclick="go()">Go</button>'),
    'app/page.html:8: inline event handler onclick= is blocked by the Content Security Policy'],
  ['policy of its own', 'app/page.html',
    PAGE.replace('<title>', '<meta http-equiv="content-security-policy" content="default-src *"><title>'),
    'app/page.html:4: the page sets its own Content-Security-Policy'],
  ['url() in a style element of the page', 'app/page.html',
    PAGE.replace('<title>', '<style>\nbody { background: url(paper.png) }\n</style><title>'),
    'app/page.html:5: url(...) loads from outside the document'],
  ['url() in a style sheet', 'app/a.css', 'body {\n  background: url("https://example.org/a.png");\n}\n',
    'app/a.css:2: url(...) loads from outside the document'],
  ['@import in a style sheet', 'app/a.css', '@import "theme.css";\n', 'app/a.css:1: @import loads from outside the document'],
  ['image address in a script', 'app/b.js', 'const img = new Image();\nimg.src = "https://example.org/a.png";\n',
    'app/b.js:2: src= loads from a network address'],
  ['script element built by a script', 'app/b.js', "const tag = '<script src=\"lib.js\">';\n",
    'app/b.js:1: <script src> loads a script from outside the document'],
];
for (const [name, file, text, message] of externalLoads) {
  test(`refuses a load from outside: ${name}`, () => {
    const extra = file === 'app/a.css' ? ['style app/a.css'] : file === 'app/b.js' ? ['script main app/b.js'] : [];
    const r = bundle({ ...MINIMAL, [file]: text }, [...MINIMAL_LIST, ...extra]);
    assert.ok(r.stderr.includes(`kinloom-bundle: ${message}`), `expected "${message}" in:\n${r.stderr}`);
    assert.equal(r.status, 1);
  });
}

// --- a good bundle --------------------------------------------------------------------------------------------

const GOOD = {
  'app/page.html': withPage('<img alt="" src="{{asset:dot}}">\n<a href="https://example.org/help">Help</a>'),
  'app/a.css': 'body { background: url({{asset:dot}}); }\n',
  'app/b.css': '.orb-menu { color: #fff; }',
  'app/boot.js': [
    '// Boot: the first element.',
    'function show(x) {',
    '  let local = 1;',
    '  return x + local;',
    '}',
    'const CLOSER = \'</SCRIPT><!--\';',
    'const DOT = "{{asset:dot}}";',
    // Definitions inside a block comment and a template literal that span lines do not count.
    '/*',
    'function show(x) {}',
    '*/',
    'const TEMPLATE = `',
    'let CLOSER = ${JSON.stringify(`',
    'const DOT = 1`)}',
    'show = 1',
    '`;',
    'const LINK = \'<a href="https://example.org/">site</a>\';',
  ].join('\n') + '\n',
  // CR LF line ends: the browser hashes the script with LF, so the bundle must hold LF.
  'app/wrap.js': 'let calls = 0;\r\nshow = (old => x => { calls++; return old(x) * 10; })(show);\r\n',
  'app/late.js': 'const result = show(1);\n',
  'app/dot.gif': GIF,
};
const GOOD_LIST = [
  '# The fixture document.',
  'page app/page.html',
  '',
  'style app/a.css',
  'style app/b.css',
  'script boot app/boot.js',
  'script boot app/wrap.js',
  'script late app/late.js   # a comment after a directive',
  'asset dot image/gif app/dot.gif',
  'wrap show',
];

test('a good bundle', async t => {
  const r = bundle(GOOD, GOOD_LIST);
  assert.equal(r.stderr, '');
  assert.equal(r.status, 0);
  const html = r.html;
  const scripts = scriptsOf(html);
  const dot = `data:image/gif;base64,${GIF.toString('base64')}`;

  await t.test('one element per group, files in list order, texts also in build/document', () => {
    assert.equal(scripts.length, 2);
    const boot = scripts[0];
    assert.ok(boot.indexOf('// file: app/boot.js') < boot.indexOf('// file: app/wrap.js'));
    assert.ok(scripts[1].includes('// file: app/late.js\nconst result = show(1);'));
    assert.deepEqual(r.scriptFiles, { 'boot.js': scripts[0], 'late.js': scripts[1] });
    assert.ok(html.indexOf('<meta http-equiv="Content-Security-Policy"') < html.indexOf('<script>'));
  });

  await t.test('assets become data addresses in page, style sheets and scripts', () => {
    assert.ok(html.includes(`<img alt="" src="${dot}">`));
    assert.ok(html.includes(`background: url(${dot});`));
    assert.ok(scripts[0].includes(`const DOT = "${dot}";`));
    assert.ok(!html.includes('{{asset:'));
  });

  await t.test('style sheets are one element, in order', () => {
    const styles = [...html.matchAll(/<style>([\s\S]*?)<\/style>/g)].map(m => m[1]);
    assert.equal(styles.length, 1);
    assert.ok(styles[0].indexOf('background: url(') < styles[0].indexOf('.orb-menu'));
  });

  await t.test('script text cannot close its element; the escaped text means the same', () => {
    assert.ok(scripts[0].includes(String.raw`const CLOSER = '<\/SCRIPT><\!--';`));
    assert.equal((html.match(/<\/script/gi) || []).length, 2);
    assert.ok(!scripts.join('').includes('\r'));
    const context = vm.createContext({});
    for (const text of scripts) new vm.Script(text).runInContext(context);
    assert.equal(vm.runInContext('CLOSER', context), '</SCRIPT><!--');
    assert.equal(vm.runInContext('result', context), 20, 'the wrapper wraps the first show');
  });

  await t.test('the policy allows exactly the hashes of the script elements', () => {
    const policy = policyOf(html);
    const hashes = scripts.map(s => `'sha256-${sha256(s)}'`).join(' ');
    assert.equal(policy, `default-src 'none'; script-src ${hashes}; style-src 'unsafe-inline'; ` +
      "img-src data: blob: http: https:; media-src data: blob:; font-src data:; connect-src 'none'; " +
      "object-src 'none'; base-uri 'none'; form-action 'none'; frame-src 'none'");
    const scriptSrc = policy.split(';').find(d => d.trim().startsWith('script-src'));
    assert.ok(!scriptSrc.includes('unsafe'));
  });
});

test('a larger asset is encoded whole', () => {
  const bytes = Buffer.alloc(300001);
  for (let i = 0; i < bytes.length; i++) bytes[i] = (i * 7919) & 255;
  const r = bundle({ ...MINIMAL, 'app/b.js': 'const MUSIC = "{{asset:music}}";\n', 'app/music.mp3': bytes },
    [...MINIMAL_LIST, 'script main app/b.js', 'asset music audio/mpeg app/music.mp3']);
  assert.equal(r.status, 0, r.stderr);
  assert.ok(r.html.includes(`const MUSIC = "data:audio/mpeg;base64,${bytes.toString('base64')}";`));
  assert.equal(policyOf(r.html), policyOf(r.html).replace(/'sha256-[^']*'/, `'sha256-${sha256(scriptsOf(r.html)[0])}'`));
});

test('a document without scripts allows none', () => {
  const r = bundle({ 'app/page.html': PAGE }, ['page app/page.html']);
  assert.equal(r.status, 0, r.stderr);
  assert.ok(policyOf(r.html).startsWith("default-src 'none'; script-src 'none'; "));
});
