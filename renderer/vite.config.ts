import { defineConfig, type Plugin } from 'vitest/config';

/**
 * The desktop view serves the page from a private URL scheme. A classic deferred script and a plain
 * stylesheet link load from any scheme, where module scripts and `crossorigin` fetches would depend
 * on how that scheme's origin is treated; so the one bundle is built as a classic script.
 */
function classicScripts(): Plugin {
  return {
    name: 'quillmer-classic-scripts',
    enforce: 'post',
    transformIndexHtml(html) {
      return html
        .replace(/<script type="module" crossorigin /g, '<script defer ')
        .replace(/<link rel="stylesheet" crossorigin /g, '<link rel="stylesheet" ');
    },
  };
}

// Relative asset URLs: the page is served both from "quillmer-review://app/index.html" and from an
// HTTP path, so nothing may assume a fixed origin or root.
export default defineConfig({
  base: './',
  plugins: [classicScripts()],
  esbuild: { jsx: 'automatic', jsxImportSource: 'preact' },
  build: {
    outDir: 'dist',
    emptyOutDir: true,
    target: 'es2020',
    modulePreload: false,
    assetsInlineLimit: 0,
    cssCodeSplit: false,
    rollupOptions: { output: { format: 'iife', inlineDynamicImports: true } },
  },
  test: {
    include: ['src/**/*.test.ts', 'src/**/*.test.tsx'],
    environment: 'node',
  },
});
