// The build's join of the viewer's modules into one classic script, on
// small module folders made here: what the joined script gives the page,
// and the modules it refuses.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const vm = require('node:vm');

const joiner = path.join(__dirname, '../../../cmake/JoinViewerScript.cmake');
const cmake = process.env.CMAKE_COMMAND || 'cmake';

const modules = {
  'main.js': "'use strict';\nvar a = require('./a');\nvar b = require('./b');\n" +
             "module.exports = { value: a.value + b.value, style: require('./style'), instance: null };\n",
  'a.js': "'use strict';\nloads.push('a');\nmodule.exports = { value: 40 };\n",
  'b.js': "'use strict';\nvar a = require('./a');\nexports.value = 2;\nexports.same = a;\n",
  // Quotes and backslashes stay as written; so do empty lines.
  'viewer.css': ".x::after { content: 'it\\'s'; }\n.y { background: url(\"a\\\\b.png\"); }\n\n" +
                '@media print {\n  .z { display: none; }\n}\n',
  'globals.js': '/* exported entry */\nfunction entry() { return TavrinViewer.value; }\n',
};

// Joins the folder's modules; gives {status, stderr, script}.
function join(files) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'viewer-join-'));
  try {
    for (const [name, text] of Object.entries(files)) fs.writeFileSync(path.join(folder, name), text);
    const output = path.join(folder, 'out', 'tavrin.js');
    fs.mkdirSync(path.dirname(output));
    const run = spawnSync(cmake, [`-DSOURCE=${folder}`, `-DOUTPUT=${output}`, '-P', joiner], { encoding: 'utf8' });
    return { status: run.status, stderr: run.stderr,
             script: fs.existsSync(output) ? fs.readFileSync(output, 'latin1') : null };
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

test('the joined script gives the page TavrinViewer, map and the entry points', () => {
  const joined = join(modules);
  assert.equal(joined.status, 0, joined.stderr);
  const context = { loads: [] };
  vm.runInNewContext(joined.script, context);
  assert.equal(context.TavrinViewer.value, 42);
  assert.equal(context.entry(), 42, 'the entry points follow the wrapper');
  assert.deepEqual(context.loads, ['a'], 'a module runs once, however often it is required');
  assert.equal(vm.runInNewContext('JSON.stringify(map)', context), '{"zoom":0}');
  assert.equal(context.TavrinViewer.style, modules['viewer.css'].replace(/\n$/, ''), 'the style sheet word for word');
  // A classic script that stands inside the page.
  assert.doesNotMatch(joined.script, /<\//);
  assert.match(joined.script, /^[\t\n\r\x20-\x7e]*$/);
  assert.doesNotMatch(joined.script, /\bexport |\bimport /);
});

test('modules that would break the page or the join are refused, naming the file', () => {
  const cases = [
    ['a.js', "'use strict';\nloads.push('a');\nmodule.exports = { value: '</script>' };\n", /a\.js: a less-than sign/],
    ['b.js', "'use strict';\n// Gr\u00fcn\nexports.value = 2;\n", /b\.js: .* ASCII only/],
    ['viewer.css', '.x { content: "</style>"; }\n', /viewer\.css: a less-than sign/],
    ['b.js', "'use strict';\nexports.value = require('./missing').value;\n", /b\.js: require\('\.\/missing'\) names no/],
    ['main.js', null, /no main\.js/],
  ];
  for (const [name, text, error] of cases) {
    const files = { ...modules, [name]: text };
    if (text === null) delete files[name];
    const joined = join(files);
    assert.notEqual(joined.status, 0, name);
    assert.match(joined.stderr.replace(/\s+/g, ' '), error, name);
    assert.equal(joined.script, null, `${name}: nothing written`);
  }
});
