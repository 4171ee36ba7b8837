/* ckeditor 4.19 sample */
var CKEDITOR = {};
