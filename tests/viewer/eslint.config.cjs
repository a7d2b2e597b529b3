// ESLint for the customer's viewer: its modules (data/viewer), their unit
// tests, and the joined tavrin.js of the program folder. The plain script
// runs in the browser beside the page's own variables; the page's globals
// are declared where they are read (host-page.js, globals.js).
'use strict';

const js = require('@eslint/js');

// What the viewer uses of the browser, and nothing else.
const browser = Object.fromEntries([
  'AbortController', 'Blob', 'DecompressionStream', 'DataView', 'Image', 'ImageData', 'Response', 'URLSearchParams',
  'clearTimeout', 'createImageBitmap', 'document', 'fetch', 'history', 'location', 'requestAnimationFrame',
  'setTimeout', 'window'
].map((name) => [name, 'readonly']));

const rules = {
  ...js.configs.recommended.rules,
  eqeqeq: 'error',
  // Globals only the page reads (pagenumber, initialize) are used; so are a wrapper's arguments.
  'no-unused-vars': ['error', { vars: 'local', args: 'none', caughtErrors: 'none' }],
};

module.exports = [
  {
    // The modules: CommonJS as the joiner wraps them, and as node loads them for their tests.
    files: ['**/data/viewer/*.js'],
    ignores: ['**/data/viewer/globals.js'],
    languageOptions: {
      ecmaVersion: 2020,
      sourceType: 'commonjs',
      // map: made by the joined script's first line.
      globals: { ...browser, map: 'readonly' },
    },
    rules,
  },
  {
    // The joined script, as the page runs it.
    files: ['**/tavrin.js'],
    languageOptions: { ecmaVersion: 2020, sourceType: 'script', globals: browser },
    rules,
  },
  {
    // The modules' unit tests, under node.
    files: ['**/tests/viewer/unit/*.cjs'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'commonjs',
      globals: { __dirname: 'readonly', Buffer: 'readonly', URL: 'readonly', process: 'readonly', ...browser },
    },
    rules,
  },
];
