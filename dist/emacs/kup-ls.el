;;; kup-ls.el --- kup-ls with eglot  -*- lexical-binding: t; -*-

;; Load this file (or copy its forms into your init file), then open a
;; *.kup file and run M-x eglot, or add `eglot-ensure' to `kup-mode-hook'.
;; The settings of .kup-ls.json at the project's root apply; others go in
;; `eglot-workspace-configuration' under :kup.

(require 'eglot)

(define-derived-mode kup-mode prog-mode "kup"
  "Major mode for kup templates."
  (setq-local comment-start "## "))

(add-to-list 'auto-mode-alist '("\\.kup\\'" . kup-mode))
(add-to-list 'eglot-server-programs '(kup-mode . ("kup-ls")))

(provide 'kup-ls)
;;; kup-ls.el ends here
