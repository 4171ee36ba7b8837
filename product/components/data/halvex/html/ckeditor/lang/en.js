CKEDITOR.lang.en = {};
